#include "actions/Commands.h"

#include <chrono>

#include "actions/ArchiveDigest.h"
#include "actions/DeleteTree.h"
#include "actions/DesktopShortcut.h"
#include "actions/DownloadToFile.h"
#include "actions/ExtractArchive.h"
#include "actions/ExtractionFileSystem.h"
#include "actions/SignatureDownload.h"
#include "catalog/CatalogueSignature.h"
#include "catalog/Installed.h"
#include "catalog/InstalledDigests.h"
#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"

namespace varnel {

namespace {

constexpr const char* kCatalogueFile = "software.dat";
// The serial of the catalogue in use, kept beside it under a name no catalogue can have.
constexpr const char* kSerialFile = ".varnel-serial";
constexpr size_t kMinWebPageLength = 4;
constexpr double kRateAfterSeconds = 0.25;  // earlier rates jump about too much to read

// "1 program", "2 programs".
std::string Programs(size_t count) {
  return std::to_string(count) + (count == 1 ? " program" : " programs");
}

// How the job watches a download: Cancel, and the progress window's byte count, rate and
// reconnection.
TDownloadHooks DownloadHooks(TJob& job) {
  TDownloadHooks hooks;
  hooks.cancel = &job.CancelSignal();
  hooks.onProgress = [&job, start = std::chrono::steady_clock::now()](int64_t received,
                                                                      int64_t total) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double rate =
        elapsed.count() >= kRateAfterSeconds ? static_cast<double>(received) / elapsed.count() : 0;
    job.ReportProgress({pkDownload, received, total, rate});
  };
  hooks.onReconnect = [&job](int attempt, int maximum) {
    job.ReportProgress({pkReconnect, attempt, maximum});
  };
  return hooks;
}

void Download(const std::string& url, TStream& target, TJob& job, TSha256* digest) {
  TDownloadHooks hooks = DownloadHooks(job);
  hooks.digest = digest;
  DownloadToFile(url, target, hooks);
}

void Extract(IFileSystem& fileSystem, const std::string& zipPath, const std::string& destFolder,
             IPrompt& prompt, TJob& job) {
  TExtractExtras extras;
  extras.cancel = &job.CancelSignal();
  extras.onEntryDone = [&job](int done, int selected) {
    job.ReportProgress({pkExtract, done, selected});
  };
  ExtractArchive(
      fileSystem, zipPath, destFolder, prompt,
      [&job](const std::string& panelText) { job.WriteStatusPanel(panelText); }, extras);
}

// The user stopped the unpacking at a failed entry.
VARNEL_EXCEPTION(EUnpackAborted, Exception);

// Passes every question on and notes the failure that an answer stopped the extraction at
// (Abort, or a box closed without one): the extraction then returns normally, but what it
// left behind is incomplete and must not be installed.
class TAbortWatch : public IPrompt {
 public:
  explicit TAbortWatch(IPrompt& prompt) : prompt_(prompt) {}
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
    return prompt_.MessageDlg(text, type, buttons);
  }
  bool PasswordQuery(const std::string& caption, const std::string& label,
                     std::string& value) override {
    return prompt_.PasswordQuery(caption, label, value);
  }
  TModalResult FileFailureDlg(const std::string& text, unsigned buttons, int nativeError,
                              const std::string& errorMessage) override {
    TModalResult answer = prompt_.FileFailureDlg(text, buttons, nativeError, errorMessage);
    if (answer != mrRetry && answer != mrIgnore && !failure_) failure_ = errorMessage;
    return answer;
  }
  // A failure is reported like any other; the Abort a cancelled job answers for itself is
  // the user's Cancel, which stays silent.
  void ThrowIfAborted(const TCancelSignal& cancel) const {
    if (!failure_) return;
    cancel.ThrowIfCancelled();
    throw EUnpackAborted("Unpacking was aborted at a failed entry: " + *failure_);
  }

 private:
  IPrompt& prompt_;
  std::optional<std::string> failure_;
};

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

TCommands::TCommands(TCommandContext context)
    : context_(std::move(context)), worker_(context_.Host, context_.Prompt, context_.Window) {
  if (!context_.Download) context_.Download = Download;
  if (!context_.Extract) context_.Extract = Extract;
}

void TCommands::Guarded(const std::function<void()>& command) {
  if (busy_) return;
  TBusyGuard guard(busy_);
  command();
}

std::optional<std::string> TCommands::SelectedName() {
  std::optional<std::string> name = context_.Window.SelectedItemText();
  if (name && !IsProgramFolderName(*name)) {
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

bool TCommands::RunInBackground(const std::string& caption,
                                const std::function<void(TJob&)>& work) {
  try {
    worker_.Run(caption, work);
    return true;
  } catch (const EOperationCancelled&) {
    context_.Window.SetStatus("Cancelled");
    return false;
  }
}

TCommands::TUnpacked TCommands::DownloadAndUnpack(const std::string& url,
                                                  const char* unpackingStatus,
                                                  const TArchiveCheck& check, TJob& job) {
  auto staging = std::make_unique<TStagingFolder>(context_.FileSystem, context_.DataDir);
  const std::string archivePath = staging->ArchivePath();
  std::unique_ptr<TStream> archive = context_.FileSystem.OpenFile(archivePath, fmCreateNew);
  TSha256 digest;
  context_.Download(url, *archive, job, &digest);
  // From here on the archive is read through the stream it was written to, never by its name.
  TExtractionFileSystem extraction(context_.FileSystem, archivePath, *archive);
  const std::string sha256 = digest.HexDigest();
  check(extraction, archivePath, sha256);
  job.SetStatus(unpackingStatus);
  TAbortWatch prompt(job.Prompt());
  context_.Extract(extraction, archivePath, staging->Tree(), prompt, job);
  prompt.ThrowIfAborted(job.CancelSignal());
  job.SetCancellable(false);
  archive.reset();
  DeleteFile(context_.FileSystem, archivePath);  // its space is free before the swap
  std::string note;
  if (const std::string refusal = extraction.ModeRefusal(); !refusal.empty()) {
    note = " (file modes not kept on this disk: " + refusal + ")";
  }
  return {std::move(staging), sha256, note};
}

void TCommands::UpdateRepository() {
  Guarded([this] { UpdateCatalogue(); });
}

bool TCommands::UpdateCatalogue() {
  const bool done = RunInBackground("Update repository", [this](TJob& job) {
    job.SetStatus("Downloading list...");
    int64_t serial = -1;
    const TArchiveCheck check = CatalogueCheck(job, serial);
    TUnpacked unpacked =
        DownloadAndUnpack(context_.RepositoryUrl, "Unpacking repository...", check, job);
    if (serial >= 0) {
      // The serial in use changes in the same step as the catalogue it belongs to.
      WriteTextFile(context_.FileSystem, unpacked.Staging->OwnFiles() + kSerialFile,
                    std::to_string(serial));
    }
    unpacked.Staging->MoveFilesInto(context_.DataDir, kCatalogueFile);
    job.SetStatus("Repository has been updated" + unpacked.Note);
  });
  if (done) context_.Window.LoadRepository();
  return done;
}

void TCommands::UpdateAll() {
  Guarded([this] {
    if (!UpdateCatalogue()) return;
    struct TTarget {
      std::string name;
      std::string url;
      TArchiveExpectation expected;
    };
    std::vector<TTarget> targets;
    std::string question;
    for (const std::string& name :
         OutdatedPrograms(context_.FileSystem, context_.DataDir,
                          ReadInstalledDigests(context_.FileSystem, context_.DataDir),
                          context_.RepositoryLines)) {
      targets.push_back({name,
                         context_.RepositoryLines.FindRecordField(name, kArchiveUrlField),
                         {name, context_.RepositoryLines.FindArchiveSha256(name)}});
      question += "\n" + name;
    }
    if (targets.empty()) {
      context_.Window.Inform("Every installed program is up to date.");
      return;
    }
    if (!context_.Window.Confirm("Update " + Programs(targets.size()) + "?\n" + question,
                                 "Update all")) {
      return;
    }
    std::string failures;
    size_t updated = 0;
    RunInBackground("Update all", [&](TJob& job) {
      for (size_t i = 0; i < targets.size(); ++i) {
        const TTarget& target = targets[i];
        job.SetCancellable(true);
        job.SetItem(target.name + " (" + std::to_string(i + 1) + " of " +
                    std::to_string(targets.size()) + ")");
        try {
          InstallInJob(target.name, target.url, target.expected, job);
          ++updated;
        } catch (const EOperationCancelled&) {
          throw;
        } catch (const Exception& e) {
          failures += "\n" + target.name + ": " + e.Message();
        }
      }
      job.SetItem({});
      job.SetStatus(Programs(updated) + " updated");
    });
    context_.Window.RepaintList();
    if (!failures.empty()) {
      throw EUpdateAllError("These programs could not be updated:\n" + failures);
    }
  });
}

TCommands::TArchiveCheck TCommands::CatalogueCheck(TJob& job, int64_t& acceptedSerial) {
  if (context_.RepositoryKey.empty()) return [](IFileSystem&, auto&, auto&) {};
  std::optional<std::string> signature =
      DownloadCatalogueSignature(context_.RepositoryUrl + ".sig", DownloadHooks(job));
  ParseCatalogueSignature(signature);  // none, or a malformed one, needs no archive to refuse
  std::optional<int64_t> serialInUse;
  const std::string serialFile = context_.DataDir + kSerialFile;
  if (FileExists(context_.FileSystem, serialFile)) {
    serialInUse = ParseCatalogueSerial(
        ReadFileHead(context_.FileSystem, serialFile, kMaxCatalogueSignatureSize));
  }
  return [this, signature, serialInUse, &acceptedSerial](IFileSystem&, const std::string&,
                                                         const std::string& sha256) {
    acceptedSerial = VerifyCatalogueSignature(signature, sha256, context_.RepositoryKey,
                                              UnixTimeNow(), serialInUse)
                         .Serial;
  };
}

void TCommands::FirstStart() {
  IFileSystem& fileSystem = context_.FileSystem;
  bool firstStart = !DirectoryExists(fileSystem, context_.DataDir);
  // An instance started at the same moment may make the folder first; the lock then decides.
  if (firstStart && !CreateDir(fileSystem, context_.DataDir)) {
    if (!DirectoryExists(fileSystem, context_.DataDir)) MkDir(fileSystem, context_.DataDir);
    firstStart = false;
  }
  if (!instanceLock_) instanceLock_ = std::make_unique<TInstanceLock>(fileSystem, context_.DataDir);
  RemoveStagingLeftovers(fileSystem, context_.AppDir, context_.DataDir);
  RecoverInstalledDigests(fileSystem, context_.DataDir);
  if (firstStart) UpdateRepository();
}

void TCommands::InstallProgram(const std::string& name) {
  const std::string url = context_.RepositoryLines.FindRecordField(name, kArchiveUrlField);
  if (Utf16Length(url) < kMinArchiveUrlLength) return;
  // A malformed integrity line refuses the install before anything is asked or fetched.
  const TArchiveExpectation expected{name, context_.RepositoryLines.FindArchiveSha256(name)};
  if (!context_.Window.Confirm("Install this software?", name)) return;
  const bool done = RunInBackground(name, [&](TJob& job) {
    job.SetStatus("Installation completed" + InstallInJob(name, url, expected, job));
  });
  if (done) context_.Window.RepaintList();
}

std::string TCommands::InstallInJob(const std::string& name, const std::string& url,
                                    const TArchiveExpectation& expected, TJob& job) {
  IFileSystem& fileSystem = context_.FileSystem;
  job.SetStatus("Downloading archive...");
  TUnpacked unpacked = DownloadAndUnpack(
      url, "Unpacking archive...",
      [&expected](IFileSystem& extraction, const std::string& archivePath,
                  const std::string& sha256) {
        CheckArchiveDigest(extraction, expected, archivePath, sha256);
      },
      job);
  const std::string tree = unpacked.Staging->Tree();
  const bool unpackedSome = DirectoryExists(fileSystem, tree);
  // The folder carries its digest through the swap, so no moment shows a wrong one.
  if (unpackedSome) WriteTextFile(fileSystem, JoinPath(tree, kInstallMarker), unpacked.Sha256);
  // An update keeps the old files the new archive lacks.
  unpacked.Staging->ReplaceFolder(ProgramFolder(name));
  if (unpackedSome) {
    TInstalledDigests digests = ReadInstalledDigests(fileSystem, context_.DataDir);
    digests[name] = unpacked.Sha256;
    WriteInstalledDigests(fileSystem, context_.DataDir, digests);
    DeleteFile(fileSystem, JoinPath(ProgramFolder(name), kInstallMarker));
  }
  return unpacked.Note;
}

void TCommands::ForgetInstalledDigest(const std::string& name) {
  TInstalledDigests digests = ReadInstalledDigests(context_.FileSystem, context_.DataDir);
  if (digests.erase(name) > 0) {
    WriteInstalledDigests(context_.FileSystem, context_.DataDir, digests);
  }
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
    RunInBackground(*name, [&](TJob& job) {
      job.SetCancellable(false);  // a deletion can't be undone
      job.SetStatus("Deleting " + *name);
      job.ReportProgress({pkDelete});
      const std::string folder = ProgramFolder(*name);
      if (context_.FileSystem.Status(folder, false).Kind == TFileKind::Link) {
        // A program folder that is a link goes as a link; its target is not ours to delete.
        context_.FileSystem.RemoveFile(folder);
      } else {
        DeleteTree(context_.FileSystem, folder);
        RmDir(context_.FileSystem, folder);
      }
      ForgetInstalledDigest(*name);
      job.SetStatus(*name + " has been uninstalled");
    });
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
