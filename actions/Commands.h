// The commands of the main window's menus, as plain C++: the window reaches them through
// TCommands, and they reach the window, the shell, the prompts and the network through the
// services in TCommandContext. Everything in the context is the caller's and must outlive
// the TCommands made from it. The window thread calls every member; downloads, extractions
// and deletions run on the worker meanwhile, and nothing of the catalogue is touched there.
// An install, an update and a catalogue update change DataDir only once their archive has
// been unpacked completely; a failure or a Cancel leaves it as it was. From FirstStart on,
// the commands hold DataDir's instance lock, so no second instance works in it meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "actions/ExtractArchive.h"
#include "actions/Staging.h"
#include "actions/Window.h"
#include "actions/Worker.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/InstanceLock.h"
#include "platform/Prompt.h"
#include "platform/Shell.h"

namespace varnel {

class TRepositoryLines;
class TSha256;
struct TArchiveExpectation;

// A catalogue name that can't be a folder name of its own (empty, ".", "..", holding "/", "\"
// or NUL, or one of the names the program keeps in DataDir): every per-program command
// refuses it before touching anything.
VARNEL_EXCEPTION(EProgramNameError, Exception);
// Some programs of an "Update all..." failed; the message names each with its failure.
VARNEL_EXCEPTION(EUpdateAllError, Exception);

// One GET of url into target, an empty file the command opened and keeps; the job carries
// Cancel and progress, and every byte written also goes into digest when one is given.
using TDownloadFunction =
    std::function<void(const std::string& url, TStream& target, TJob& job, TSha256* digest)>;
// Unpacks every entry of zipPath into destFolder, all through fileSystem (which hands out the
// downloaded archive for zipPath); per-file questions go to prompt, and the job takes the
// progress texts for status panel 0 and carries Cancel.
using TExtractFunction =
    std::function<void(IFileSystem& fileSystem, const std::string& zipPath,
                       const std::string& destFolder, IPrompt& prompt, TJob& job)>;

struct TCommandContext {
  std::string AppDir;         // ends in "/"
  std::string DataDir;        // AppDir + "data/"
  std::string RepositoryUrl;  // "http://" + host + "/tools/software.zip"
  const TRepositoryLines& RepositoryLines;
  IWindow& Window;
  IShell& Shell;
  IPrompt& Prompt;
  IFileSystem& FileSystem;  // every file and folder the commands touch
  IWorkerHost& Host;        // runs the window's events while the long steps run on the worker
  // Empty means the real DownloadToFile and ExtractArchive.
  TDownloadFunction Download;
  TExtractFunction Extract;
  // The repository's Ed25519 public key as base64. With one, a catalogue is unpacked only when
  // RepositoryUrl + ".sig" signs it, it has not expired and its serial is not lower than the
  // one in use; without one, catalogues are taken as they come.
  std::string RepositoryKey;
};

class TCommands {
 public:
  explicit TCommands(TCommandContext context);

  // "Update repository" (F5) and the first-start update: the catalogue archive into DataDir,
  // then the list is reloaded.
  void UpdateRepository();
  // "Update all..." (Ctrl+U): the catalogue as F5 updates it, then, after one question, every
  // installed program the new catalogue offers another archive for, as "Install / Update..."
  // installs it, in one progress window. A failure doesn't stop the others; all are reported
  // in one error box at the end (EUpdateAllError). Cancel stops the program at hand, which
  // stays as it was, and skips the rest.
  void UpdateAll();
  // The window's start. When no folder exists at DataDir (a file of that name counts as
  // missing), creates it, raising EInOutError when that fails. Then takes DataDir's instance
  // lock, raising EInstanceRunning when another instance holds it, removes what unfinished
  // commands left in staging, and runs UpdateRepository when DataDir was new.
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
  // Asks the command running in the background to stop, where it still can.
  void Cancel() { worker_.Cancel(); }

 private:
  class TBusyGuard;

  void Guarded(const std::function<void()>& command);
  void InstallProgram(const std::string& name);
  // Runs work on the worker; false when it was cancelled, which leaves " Cancelled" in panel
  // 0. Anything else work raises is raised here.
  bool RunInBackground(const std::string& caption, const std::function<void(TJob&)>& work);
  // Raises when a downloaded archive is not to be unpacked; it sees the archive through the
  // file system the extraction uses, and its SHA-256.
  using TArchiveCheck = std::function<void(IFileSystem& fileSystem, const std::string& archivePath,
                                           const std::string& sha256)>;
  // An archive unpacked into its staging folder: the SHA-256 it was checked with, and what the
  // completion text adds (why modes were not kept).
  struct TUnpacked {
    std::unique_ptr<TStagingFolder> Staging;
    std::string Sha256;
    std::string Note;
  };
  // The archive is downloaded into a new staging folder, checked, then unpacked there from the
  // same open file after unpackingStatus. From its return on, the job can't be cancelled.
  TUnpacked DownloadAndUnpack(const std::string& url, const char* unpackingStatus,
                              const TArchiveCheck& check, TJob& job);
  // On the worker: the catalogue update's work; false when it was cancelled.
  bool UpdateCatalogue();
  // On the worker: name's archive at url downloaded, checked, unpacked and swapped in for its
  // folder, and the archive's digest recorded with it; returns the completion text's note.
  std::string InstallInJob(const std::string& name, const std::string& url,
                           const TArchiveExpectation& expected, TJob& job);
  // Forgets the digest name's folder was unpacked from.
  void ForgetInstalledDigest(const std::string& name);
  // With a repository key: the catalogue's signature file, checked against the archive's
  // digest once it is there; nothing to check without a key.
  TArchiveCheck CatalogueCheck(TJob& job, int64_t& acceptedSerial);
  // The selected name after the safety check, or nothing when no item is selected.
  std::optional<std::string> SelectedName();
  std::string ProgramFolder(const std::string& name) const;
  std::string ProgramPath(const std::string& name) const;
  std::string IconPath(const std::string& name) const;

  TCommandContext context_;
  TWorker worker_;
  bool busy_ = false;
  std::unique_ptr<TInstanceLock> instanceLock_;
};

}  // namespace varnel
