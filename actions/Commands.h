// The commands of the main window's menus, as plain C++: the window reaches them through
// TCommands, and they reach the window, the shell, the prompts and the network through the
// services in TCommandContext. Everything in the context is the caller's and must outlive
// the TCommands made from it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "actions/ExtractArchive.h"
#include "actions/Window.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "platform/Shell.h"

namespace varnel {

class TRepositoryLines;

// A catalogue name that can't be a folder name of its own (empty, ".", "..", or holding "/",
// "\" or NUL): every per-program command refuses it before touching anything.
VARNEL_EXCEPTION(EProgramNameError, Exception);

// One GET of url into filePath (created empty first).
using TDownloadFunction = std::function<void(const std::string& url, const std::string& filePath)>;
// Unpacks every entry of zipPath into destFolder; per-file questions go to prompt, and
// statusWriter receives the progress text for status panel 0, written as it is.
using TExtractFunction =
    std::function<void(const std::string& zipPath, const std::string& destFolder, IPrompt& prompt,
                       const TStatusWriter& statusWriter)>;

struct TCommandContext {
  std::string AppDir;         // ends in "/"; the temporary archive lives here
  std::string DataDir;        // AppDir + "data/"
  std::string RepositoryUrl;  // "http://" + host + "/tools/software.zip"
  const TRepositoryLines& RepositoryLines;
  IWindow& Window;
  IShell& Shell;
  IPrompt& Prompt;
  IFileSystem& FileSystem;  // every file and folder the commands touch
  // Empty means the real DownloadToFile and ExtractArchive.
  TDownloadFunction Download;
  TExtractFunction Extract;
};

class TCommands {
 public:
  explicit TCommands(TCommandContext context);

  // "Update repository" (F5) and the first-start update: the catalogue archive into DataDir,
  // then the list is reloaded.
  void UpdateRepository();
  // The window's first start: when no folder exists at DataDir (a file of that name counts as
  // missing), creates it, raising EInOutError when that fails, then runs UpdateRepository.
  // Does nothing when DataDir is there.
  void FirstStart();
  // "Install / Update...": the selected program's archive into DataDir + name.
  void Install();
  // "Uninstall...": DataDir + name and everything in it.
  void Uninstall();
  // "Run", double-click and Enter: starts the program, or offers to install it.
  void Run();
  // "Locate folder": shows the program's folder.
  void LocateFolder();
  // "Software page...": opens the program's web page (http:// and https:// only).
  void OpenWebPage();
  // "Send to desktop": a launcher for the program on the desktop.
  void SendToDesktop();

  // True while a command runs; a command started meanwhile does nothing.
  bool Busy() const { return busy_; }

 private:
  class TBusyGuard;

  void Guarded(const std::function<void()>& command);
  void InstallProgram(const std::string& name);
  // temp.zip is downloaded, unpacked into destFolder after unpackingStatus, then deleted.
  void DownloadAndExtract(const std::string& url, const std::string& destFolder,
                          const char* unpackingStatus);
  // The selected name after the safety check, or nothing when no item is selected.
  std::optional<std::string> SelectedName();
  std::string ProgramFolder(const std::string& name) const;
  std::string ProgramPath(const std::string& name) const;
  std::string IconPath(const std::string& name) const;
  std::string TempArchive() const;

  TCommandContext context_;
  bool busy_ = false;
};

}  // namespace varnel
