#include "actions/Commands.h"

#include <cctype>

#include "actions/DeleteTree.h"
#include "actions/DesktopShortcut.h"
#include "actions/DownloadToFile.h"
#include "actions/ExtractArchive.h"
#include "catalog/Installed.h"
#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace varnel {

namespace {

constexpr const char* kTempArchive = "temp.zip";
constexpr size_t kMinWebPageLength = 4;

bool IsWebAddress(const std::string& text) {
  std::string lower;
  for (char c : text.substr(0, 8))
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace

class TCommands::TBusyGuard {
 public:
  explicit TBusyGuard(bool& busy) : busy_(busy) { busy_ = true; }
  ~TBusyGuard() { busy_ = false; }
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;

 private:
  bool& busy_;
};

TCommands::TCommands(TCommandContext context) : context_(std::move(context)) {
  if (!context_.Download) context_.Download = DownloadToFile;
  if (!context_.Extract) {
    context_.Extract = [&fileSystem = context_.FileSystem](
                           const std::string& zipPath, const std::string& destFolder,
                           IPrompt& prompt, const TStatusWriter& statusWriter) {
      ExtractArchive(fileSystem, zipPath, destFolder, prompt, statusWriter);
    };
  }
}

void TCommands::Guarded(const std::function<void()>& command) {
  if (busy_) return;
  TBusyGuard guard(busy_);
  command();
}

std::optional<std::string> TCommands::SelectedName() {
  std::optional<std::string> name = context_.Window.SelectedItemText();
  if (name && !IsPlainPathComponent(*name)) {
    throw EProgramNameError("The program name \"" + *name +
                            "\" can't be used as a folder name; the command was not carried out");
  }
  return name;
}

std::string TCommands::ProgramFolder(const std::string& name) const {
  return JoinPath(context_.DataDir, name);
}

// The program folder + "/" + the record's executable path; empty when no catalogue line
// equals the name (not the program folder).
std::string TCommands::ProgramPath(const std::string& name) const {
  if (context_.RepositoryLines.FindRecordField(name, 0) != name) return {};
  return ProgramFolder(name) + kPathDelim +
         context_.RepositoryLines.FindRecordField(name, kExecutablePathField);
}

// DataDir + the record's icon line, or "" when the record has none. The launcher's icon is a
// nicety: a name on the catalogue's first line has no icon line, which is no failure.
std::string TCommands::IconPath(const std::string& name) const {
  std::string icon;
  try {
    icon = context_.RepositoryLines.FindRecordField(name, -1);
  } catch (const EStringListError&) {
    return {};
  }
  return icon.empty() ? std::string() : JoinPath(context_.DataDir, icon);
}

std::string TCommands::TempArchive() const {
  return context_.AppDir + kTempArchive;
}

void TCommands::DownloadAndExtract(const std::string& url, const std::string& destFolder,
                                   const char* unpackingStatus) {
  context_.Download(url, TempArchive());
  context_.Window.SetStatus(unpackingStatus);
  context_.Extract(TempArchive(), destFolder, context_.Prompt,
                   [this](const std::string& text) { context_.Window.WriteStatusPanel(text); });
  DeleteFile(context_.FileSystem, TempArchive());
}

void TCommands::UpdateRepository() {
  Guarded([this] {
    context_.Window.SetStatus("Downloading list...");
    DownloadAndExtract(context_.RepositoryUrl, context_.DataDir, "Unpacking repository...");
    context_.Window.SetStatus("Repository has been updated");
    context_.Window.LoadRepository();
  });
}

void TCommands::FirstStart() {
  if (DirectoryExists(context_.FileSystem, context_.DataDir)) return;
  MkDir(context_.FileSystem, context_.DataDir);
  UpdateRepository();
}

void TCommands::InstallProgram(const std::string& name) {
  const std::string url = context_.RepositoryLines.FindRecordField(name, kArchiveUrlField);
  if (Utf16Length(url) < kMinArchiveUrlLength) return;
  if (!context_.Window.Confirm("Install this software?", name)) return;
  context_.Window.SetStatus("Downloading archive...");
  // An update unpacks over the old files: those the new archive lacks stay.
  DownloadAndExtract(url, ProgramFolder(name), "Unpacking archive...");
  context_.Window.SetStatus("Installation completed");
  context_.Window.RepaintList();
}

void TCommands::Install() {
  Guarded([this] {
    if (std::optional<std::string> name = SelectedName()) InstallProgram(*name);
  });
}

void TCommands::Uninstall() {
  Guarded([this] {
    std::optional<std::string> name = SelectedName();
    if (!name || !IsProgramInstalled(context_.FileSystem, context_.DataDir, *name)) return;
    if (!context_.Window.Confirm("Confirm uninstall?", *name)) return;
    context_.Window.SetStatus("Deleting " + *name);
    const std::string folder = ProgramFolder(*name);
    if (context_.FileSystem.Status(folder, false).Kind == TFileKind::Link) {
      // A program folder that is a link goes as a link; its target is not ours to delete.
      context_.FileSystem.RemoveFile(folder);
    } else {
      DeleteTree(context_.FileSystem, folder);
      RmDir(context_.FileSystem, folder);
    }
    context_.Window.SetStatus(*name + " has been uninstalled");
    context_.Window.RepaintList();
  });
}

void TCommands::Run() {
  Guarded([this] {
    std::optional<std::string> name = SelectedName();
    if (!name) return;
    context_.Window.WriteStatusPanel(" Run " + *name);
    if (!IsProgramInstalled(context_.FileSystem, context_.DataDir, *name)) {
      context_.Window.SetStatus(*name + " is not installed");
      InstallProgram(*name);
      return;
    }
    context_.Shell.Open(ProgramPath(*name));
  });
}

void TCommands::LocateFolder() {
  Guarded([this] {
    std::optional<std::string> name = SelectedName();
    if (name && IsProgramInstalled(context_.FileSystem, context_.DataDir, *name)) {
      context_.Shell.Explore(ProgramFolder(*name));
    }
  });
}

void TCommands::OpenWebPage() {
  Guarded([this] {
    std::optional<std::string> name = SelectedName();
    if (!name) return;
    const std::string page = context_.RepositoryLines.FindRecordField(*name, kWebPageUrlField);
    // Anything but a web address (a local file, a command) is never handed to the shell.
    if (Utf16Length(page) >= kMinWebPageLength && IsWebAddress(page)) {
      context_.Shell.OpenUrl(page);
    }
  });
}

void TCommands::SendToDesktop() {
  Guarded([this] {
    std::optional<std::string> name = SelectedName();
    if (!name || !IsProgramInstalled(context_.FileSystem, context_.DataDir, *name)) return;
    CreateDesktopShortcut(context_.FileSystem, ProgramPath(*name), *name, IconPath(*name));
  });
}

}  // namespace varnel
