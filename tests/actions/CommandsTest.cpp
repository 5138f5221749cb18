#include "actions/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "actions/ArchiveDigest.h"
#include "catalog/InstalledDigests.h"
#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
#include "platform/Sha256.h"
#include "tests/actions/CommandFakes.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

const char* const kCatalogue =
    "dice.ico\nDice\nhttp://host/tools/dice.zip\nbin/dice.py\nRolls "
    "dice\nhttps://example.org/dice\n"
    "\n\n\n\n"
    "none.ico\nNo Archive\nhttp\nnone.sh\nNothing to download\nhttp://example.org/none\n\n\n\n\n"
    "five.ico\nFive\nh://x\nfive.sh\nA five-character URL\nabc\n\n\n\n\n"
    "bare.ico\nBare\nhttp://host/tools/bare.zip\n\nNo executable named\nwww.example.org\n\n\n\n\n";

const std::string kSha256OfPK = "fcab7fcc2b4cffd9bb45003bfc2e468a04ef6f77ca8200a7341f027631584d25";

class ServiceError : public Exception {
 public:
  using Exception::Exception;
};

class CommandsTest : public ::testing::Test {
 protected:
  CommandsTest() {
    fs::create_directories(data);
    lines.SetText(kCatalogue);
  }

  // The fakes run on the worker; they log through the job, so the journal keeps one order.
  TCommands Commands() {
    return TCommands(TCommandContext{
        app,
        data,
        "http://host/tools/software.zip",
        lines,
        window,
        shell,
        prompt,
        SystemFileSystem(),
        host,
        [this](const std::string& url, TStream& target, TJob& job, TSha256* digest) {
          Log(job, "download:" + url);
          if (url == cancelledUrl) throw EOperationCancelled("Cancelled");
          const bool fails = downloadFails || url == failingUrl;
          const std::string body = fails ? "" : downloadBody;
          target.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
          if (digest) digest->Update(body.data(), body.size());
          if (fails) throw ServiceError("Socket Error # 10061\r\nConnection refused.");
        },
        [this](IFileSystem& fileSystem, const std::string& zip, const std::string& dest, IPrompt&,
               TJob& job) {
          const bool staged = dest.starts_with(staging + "job-") && dest.ends_with("/tree/");
          // The archive as the extraction reads it: what the download wrote.
          std::unique_ptr<TStream> file = fileSystem.OpenFile(zip, fmOpenRead);
          std::string bytes(static_cast<size_t>(file->Size()), '\0');
          file->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
          Log(job, "extract:" + bytes + " -> " + (staged ? "staging" : dest));
          if (openFails) throw ServiceError("Archive is damaged");
          fs::create_directories(dest);
          for (const auto& [name, bytes] : archive) {
            job.WriteStatusPanel(" Extracting " + name + " (100%)");
            WriteFile(dest + "/" + name, bytes);
          }
          if (extractFails) throw ServiceError("Stream read error");
        },
        {}});
  }

  void Log(TJob& job, const std::string& entry) {
    job.Post([this, entry] { journal.push_back(entry); });
  }

  void Install(const std::string& name) {
    window.selected = name;
    Commands().Install();
  }

  TempDir root;
  const std::string app = root.Path() + "app/";
  const std::string data = app + "data/";
  const std::string staging = data + ".varnel-staging/";
  TRepositoryLines lines;
  TJournal journal;
  TRecorderWindow window{journal};
  TRecordingShell shell{journal};
  TScriptedPrompt prompt{journal};
  TRecordingHost host;
  std::map<std::string, std::string> archive{{"a.txt", "new a"}};
  std::string downloadBody = "PK";
  bool downloadFails = false;
  std::string failingUrl;    // the download of this URL fails
  std::string cancelledUrl;  // the user cancels during the download of this URL
  bool openFails = false;
  bool extractFails = false;
};

TEST_F(CommandsTest, UpdateRepositoryRunsItsStepsInOrderAndRemovesTheTemporaryArchive) {
  Commands().UpdateRepository();
  EXPECT_EQ(
      journal,
      (TJournal{"status: Downloading list...", "download:http://host/tools/software.zip",
                "status: Unpacking repository...", "extract:PK -> staging",
                "panel: Extracting a.txt (100%)", "status: Repository has been updated", "load"}));
  EXPECT_TRUE(fs::is_empty(staging));
  EXPECT_EQ(ReadFile(data + "a.txt"), "new a");
}

TEST_F(CommandsTest, InstallAsksThenDownloadsUnpacksIntoTheProgramFolderAndRepaints) {
  Install("Dice");
  EXPECT_EQ(journal,
            (TJournal{"confirm:Install this software?|Dice", "status: Downloading archive...",
                      "download:http://host/tools/dice.zip", "status: Unpacking archive...",
                      "extract:PK -> staging", "panel: Extracting a.txt (100%)",
                      "status: Installation completed", "repaint"}));
  EXPECT_TRUE(fs::is_empty(staging));
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "new a");
  EXPECT_EQ(host.captions, (std::vector<std::string>{"Dice"}));
  // What the folder was unpacked from is kept beside it, and the swap's marker is gone.
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data),
            (TInstalledDigests{{"Dice", kSha256OfPK}}));
  EXPECT_FALSE(fs::exists(data + "Dice/.varnel-installing"));
}

// A (installed from another archive) and C are offered updates, B is current; C's download
// fails. The catalogue is updated first, then one question, then A and C in one window.
class UpdateAllTest : public CommandsTest {
 protected:
  UpdateAllTest() {
    std::string text;
    for (const char* name : {"A", "B", "C"}) {
      text += std::string(name) + ".ico\n" + name + "\nhttp://host/" + name +
              ".zip\nrun\nd\nw\nsha256:" + kSha256OfPK + "\n\n\n\n";
      fs::create_directories(data + name);
    }
    lines.SetText(text);
    WriteInstalledDigests(
        SystemFileSystem(), data,
        {{"A", std::string(64, '0')}, {"B", kSha256OfPK}, {"C", std::string(64, '1')}});
  }
};

TEST_F(UpdateAllTest, UpdatesWhatIsOutdatedAndReportsEachFailureAtTheEnd) {
  failingUrl = "http://host/C.zip";
  try {
    Commands().UpdateAll();
    ADD_FAILURE() << "no error box";
  } catch (const EUpdateAllError& e) {
    EXPECT_EQ(
        e.Message(),
        "These programs could not be updated:\n\nC: Socket Error # 10061\r\nConnection refused.");
  }
  std::vector<std::string> asked;
  for (const std::string& entry : journal) {
    if (entry.starts_with("download:") || entry.starts_with("confirm:") || entry == "load") {
      asked.push_back(entry);
    }
  }
  EXPECT_EQ(asked,
            (std::vector<std::string>{"download:http://host/tools/software.zip", "load",
                                      "confirm:Update 2 programs?\n\nA\nC|Update all",
                                      "download:http://host/A.zip", "download:http://host/C.zip"}));
  EXPECT_EQ(window.panel, " 1 program updated");
  EXPECT_EQ(host.captions, (std::vector<std::string>{"Update repository", "Update all"}));
  EXPECT_EQ(
      ReadInstalledDigests(SystemFileSystem(), data),
      (TInstalledDigests{{"A", kSha256OfPK}, {"B", kSha256OfPK}, {"C", std::string(64, '1')}}));
  EXPECT_EQ(ReadFile(data + "A/a.txt"), "new a");
  EXPECT_FALSE(fs::exists(data + "C/a.txt"));
}

TEST_F(UpdateAllTest, CancelStopsTheProgramAtHandAndSkipsTheRest) {
  cancelledUrl = "http://host/A.zip";
  Commands().UpdateAll();
  EXPECT_EQ(window.panel, " Cancelled");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "download:http://host/C.zip"), 0);
  EXPECT_FALSE(fs::exists(data + "A/a.txt"));
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data).at("A"), std::string(64, '0'));
}

TEST_F(UpdateAllTest, WithNothingOutdatedItSaysSoAndDownloadsNoProgram) {
  WriteInstalledDigests(SystemFileSystem(), data, {{"A", kSha256OfPK}, {"C", kSha256OfPK}});
  window.answer = false;  // a question asked would end it
  Commands().UpdateAll();
  EXPECT_EQ(journal.back(), "inform:Every installed program is up to date.");
  EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                          [](const std::string& entry) {
                            return entry.starts_with("download:") || entry.starts_with("confirm:");
                          }),
            1);
}

// Each failing step ends the command there: the status it leaves, no downloaded archive
// left behind, and neither the reload nor the repaint.
struct FailureRow {
  const char* step;
  bool install;
  bool downloadFails, openFails, extractFails;
  const char* lastPanel;
};

class CommandFailureTest : public CommandsTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CommandFailureTest, LeavesWhatTheFailingStepLeaves) {
  const FailureRow& row = GetParam();
  downloadFails = row.downloadFails;
  openFails = row.openFails;
  extractFails = row.extractFails;
  if (row.install) {
    window.selected = "Dice";
    EXPECT_THROW(Commands().Install(), ServiceError);
  } else {
    EXPECT_THROW(Commands().UpdateRepository(), ServiceError);
  }
  EXPECT_EQ(window.panel, row.lastPanel);
  // Nothing of what was unpacked reaches DataDir, and the job folder is gone with its archive.
  EXPECT_EQ(fs::directory_iterator(data)->path().filename(), ".varnel-staging");
  EXPECT_TRUE(fs::is_empty(staging));
  for (const std::string& entry : journal) {
    EXPECT_NE(entry, "load");
    EXPECT_NE(entry, "repaint");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandFailureTest,
    ::testing::Values(
        FailureRow{"update-download", false, true, false, false, " Downloading list..."},
        FailureRow{"update-open", false, false, true, false, " Unpacking repository..."},
        FailureRow{"update-extract", false, false, false, true, " Extracting a.txt (100%)"},
        FailureRow{"install-download", true, true, false, false, " Downloading archive..."},
        FailureRow{"install-open", true, false, true, false, " Unpacking archive..."},
        FailureRow{"install-extract", true, false, false, true, " Extracting a.txt (100%)"}),
    [](const auto& info) {
      std::string name = info.param.step;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// The record's integrity line against what the download brought: a digest that doesn't match
// refuses the archive before anything is unpacked; any other line, or none, changes nothing.
struct DigestRow {
  const char* name;
  const char* recordEnd;  // the catalogue from the record's integrity line on
  std::string body;       // what the download writes
  const char* refusal;    // the error's message from "received (" on; nullptr: installs
};

class CommandDigestTest : public CommandsTest, public ::testing::WithParamInterface<DigestRow> {};

const std::string kSealedBody("PK\x03\x04 the sealed archive", 23);
const char* const kSealedLine =
    "sha256:d31a92fc07e0cbea8814afca64bb3ec7ccc42a55263da922664ce7231b5a81a8\n\n\n\n";

TEST_P(CommandDigestTest, RefusesAnArchiveThatIsNotTheOneTheRecordNames) {
  const DigestRow& row = GetParam();
  lines.SetText(std::string("sealed.ico\nSealed\nhttp://host/tools/sealed.zip\nsealed.sh\n"
                            "A sealed program\nhttps://example.org/sealed\n") +
                row.recordEnd);
  fs::create_directories(data + "Sealed");
  WriteFile(data + "Sealed/old.txt", "old");
  downloadBody = row.body;
  window.selected = "Sealed";
  if (row.refusal == nullptr) {
    Commands().Install();
    EXPECT_EQ(window.panel, " Installation completed");
    EXPECT_EQ(ReadFile(data + "Sealed/a.txt"), "new a");
    return;
  }
  try {
    Commands().Install();
    ADD_FAILURE() << "no exception";
  } catch (const EArchiveDigestError& e) {
    EXPECT_EQ(e.Message(),
              "The archive of \"Sealed\" is not the one the catalogue describes: SHA-256 "
              "d31a92fc07e0cbea8814afca64bb3ec7ccc42a55263da922664ce7231b5a81a8 expected, " +
                  std::string(row.refusal));
  }
  EXPECT_EQ(window.panel, " Downloading archive...");
  EXPECT_TRUE(fs::is_empty(staging));
  EXPECT_EQ(fs::directory_iterator(data + "Sealed")->path().filename(), "old.txt");
  EXPECT_FALSE(FileExists(SystemFileSystem(), data + "Sealed/a.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandDigestTest,
    ::testing::Values(
        DigestRow{"matching", kSealedLine, kSealedBody, nullptr},
        DigestRow{"upper_case_digits",
                  "sha256:D31A92FC07E0CBEA8814AFCA64BB3EC7CCC42A55263DA922664CE7231B5A81A8\n",
                  kSealedBody, nullptr},
        DigestRow{"another_archive", kSealedLine, "PK\x03\x04 another archive",
                  "524eac76ab63ddbde5cc730fa285526b5be4e975f296ad18bacffa704ceee85d received "
                  "(20 bytes beginning 50 4B 03 04 20 61 6E 6F 74 68 65 72 20 61 72 63)"},
        DigestRow{"html_page", kSealedLine,
                  "<!DOCTYPE html>\n<html><body>Proxy error</body></html>\n",
                  "4011540ff297c85079d72c84de8d8b1058c2cec6d074c737971f12c707c57598 received "
                  "(54 bytes beginning \"<!DOCTYPE html>\")"},
        DigestRow{"truncated", kSealedLine, kSealedBody.substr(0, 8),
                  "e7e36c95110c81d4578c498a0d4829e0a074c395b0a1cc9c74e1cf6687483266 received "
                  "(8 bytes beginning 50 4B 03 04 20 74 68 65)"},
        DigestRow{"no_integrity_line", "\n\n\n\n", "anything", nullptr},
        DigestRow{"other_text", "md5:d31a92fc\n\n\n\n", "anything", nullptr},
        DigestRow{"last_record_of_six_lines", "", "anything", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A "sha256:" line that names no digest once turned the check off; it refuses the install.
TEST_F(CommandsTest, AMalformedIntegrityLineRefusesTheInstallBeforeTheQuestion) {
  lines.SetText("s.ico\nSealed\nhttp://host/tools/sealed.zip\ns.sh\nd\nw\nsha256:d31a92fc\n\n\n\n");
  window.selected = "Sealed";
  EXPECT_THROW(Commands().Install(), EIntegrityLineError);
  for (const std::string& entry : journal) {
    EXPECT_FALSE(entry.starts_with("download:") || entry.starts_with("confirm:")) << entry;
  }
  EXPECT_FALSE(DirectoryExists(SystemFileSystem(), data + "Sealed"));
}

TEST_F(CommandsTest, FirstStartMakesTheDataFolderAndUpdatesOnlyWhenItIsMissing) {
  Commands().FirstStart();
  EXPECT_TRUE(journal.empty());
  fs::remove_all(data);
  Commands().FirstStart();
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), data));
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back(), "load");

  journal.clear();
  fs::remove_all(data);
  WriteFile(app + "data", "a file where the folder belongs");
  try {
    Commands().FirstStart();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 183);
    EXPECT_EQ(e.Message(), "I/O error 183");
  }
  EXPECT_TRUE(journal.empty());
}

TEST_F(CommandsTest, ASecondInstanceIsRefusedBeforeItTouchesTheFirstOnesStaging) {
  TCommands first = Commands();
  first.FirstStart();
  fs::create_directories(staging + "job-running/tree");
  EXPECT_THROW(Commands().FirstStart(), EInstanceRunning);
  EXPECT_TRUE(fs::exists(staging + "job-running/tree"));
  EXPECT_TRUE(journal.empty());
}

TEST_F(CommandsTest, AStagingFolderThatCannotBeMadeEndsTheInstallBeforeTheNetwork) {
  fs::remove_all(app);
  window.selected = "Dice";
  TCommands commands(TCommandContext{
      app, data, "", lines, window, shell, prompt, SystemFileSystem(), host, {}, {}, {}});
  try {
    commands.Install();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
  }
  EXPECT_EQ(window.panel, " Downloading archive...");
  EXPECT_FALSE(fs::exists(app));
}

TEST_F(CommandsTest, InstallNeedsAnArchiveUrlOfFiveCharacters) {
  Install("No Archive");
  EXPECT_TRUE(journal.empty());
  Install("Not In Catalogue");
  EXPECT_TRUE(journal.empty());
  Install("Five");
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal[2], "download:h://x");
}

TEST_F(CommandsTest, NoToAQuestionChangesNothing) {
  window.answer = false;
  Install("Dice");
  fs::create_directories(data + "Bare/sub");
  window.selected = "Bare";
  Commands().Uninstall();
  EXPECT_EQ(journal,
            (TJournal{"confirm:Install this software?|Dice", "confirm:Confirm uninstall?|Bare"}));
  EXPECT_FALSE(DirectoryExists(SystemFileSystem(), data + "Dice"));
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), data + "Bare/sub"));
  EXPECT_EQ(window.panel, "");
}

TEST_F(CommandsTest, UninstallDeletesTheFolderWithStatusTextsAndRepaints) {
  fs::create_directories(data + "Dice/bin");
  WriteFile(data + "Dice/bin/dice.py", "x");
  WriteInstalledDigests(SystemFileSystem(), data, {{"Dice", kSha256OfPK}, {"Calc", kSha256OfPK}});
  window.selected = "Dice";
  Commands().Uninstall();
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data),
            (TInstalledDigests{{"Calc", kSha256OfPK}}));
  // A deletion over before the window thread has taken "Deleting Dice" has the next text
  // replace it.
  std::erase(journal, "status: Deleting Dice");
  EXPECT_EQ(journal, (TJournal{"confirm:Confirm uninstall?|Dice",
                               "status: Dice has been uninstalled", "repaint"}));
  EXPECT_FALSE(fs::exists(data + "Dice"));
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), data));
}

TEST_F(CommandsTest, UninstallOfAProgramFolderThatIsALinkRemovesOnlyTheLink) {
  fs::create_directories(root.Path() + "elsewhere");
  WriteFile(root.Path() + "elsewhere/keep.txt", "keep");
  fs::create_directory_symlink(root.Path() + "elsewhere", data + "Dice");
  window.selected = "Dice";
  Commands().Uninstall();
  EXPECT_FALSE(fs::exists(fs::symlink_status(data + "Dice")));
  EXPECT_EQ(ReadFile(root.Path() + "elsewhere/keep.txt"), "keep");
}

TEST_F(CommandsTest, UninstallOfAProgramThatIsNotInstalledDoesNothing) {
  WriteFile(data + "Dice", "a file, not a folder");
  window.selected = "Dice";
  Commands().Uninstall();
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(FileExists(SystemFileSystem(), data + "Dice"));
}

TEST_F(CommandsTest, NothingSelectedMakesEveryCommandDoNothing) {
  window.selected.reset();
  TCommands commands = Commands();
  commands.Install();
  commands.Uninstall();
  commands.Run();
  commands.LocateFolder();
  commands.OpenWebPage();
  commands.SendToDesktop();
  EXPECT_TRUE(journal.empty());
}

// Names that are not one plain path component would make DataDir + name point at DataDir
// itself or above it; every per-program command refuses them before doing anything.
TEST_F(CommandsTest, UnsafeNamesAreRefusedByEveryCommand) {
  fs::create_directories(data + "sub");
  WriteFile(app + "beside-data.txt", "keep");
  const std::vector<std::string> unsafe = {"",
                                           ".",
                                           "..",
                                           "../app",
                                           "a/b",
                                           "a\\b",
                                           std::string("a\0b", 3),
                                           ".varnel-staging",
                                           ".varnel-lock"};
  const std::vector<std::pair<const char*, void (TCommands::*)()>> commands = {
      {"Install", &TCommands::Install},
      {"Uninstall", &TCommands::Uninstall},
      {"Run", &TCommands::Run},
      {"LocateFolder", &TCommands::LocateFolder},
      {"OpenWebPage", &TCommands::OpenWebPage},
      {"SendToDesktop", &TCommands::SendToDesktop}};
  for (const std::string& name : unsafe) {
    lines.SetText("x.ico\n" + name + "\nhttp://host/x.zip\nx\nd\nhttp://w\n\n\n\n\n");
    for (const auto& [label, command] : commands) {
      window.selected = name;
      TCommands c = Commands();
      try {
        (c.*command)();
        ADD_FAILURE() << label << " accepted \"" << name << "\"";
      } catch (const EProgramNameError& e) {
        EXPECT_NE(e.Message().find("can't be used as a folder name"), std::string::npos);
      }
    }
  }
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), data + "sub"));
  EXPECT_EQ(ReadFile(app + "beside-data.txt"), "keep");
}

TEST_F(CommandsTest, RunStartsTheProgramPathOfAnInstalledProgram) {
  fs::create_directories(data + "Dice");
  window.selected = "Dice";
  Commands().Run();
  EXPECT_EQ(journal, (TJournal{"panel: Run Dice", "open:" + data + "Dice/bin/dice.py"}));
}

TEST_F(CommandsTest, RunHandsTheShellWhatTheCatalogueGives) {
  // An empty executable line gives the folder and a separator; no matching line gives nothing.
  fs::create_directories(data + "Bare");
  fs::create_directories(data + "Unlisted");
  window.selected = "Bare";
  Commands().Run();
  window.selected = "Unlisted";
  Commands().Run();
  EXPECT_EQ(journal, (TJournal{"panel: Run Bare", "open:" + data + "Bare/", "panel: Run Unlisted",
                               "open:"}));
}

TEST_F(CommandsTest, RunOfAProgramThatIsNotInstalledOffersToInstallIt) {
  window.selected = "Dice";
  window.answer = false;
  Commands().Run();
  window.selected = "No Archive";
  Commands().Run();
  EXPECT_EQ(journal, (TJournal{"panel: Run Dice", "status: Dice is not installed",
                               "confirm:Install this software?|Dice", "panel: Run No Archive",
                               "status: No Archive is not installed"}));
  EXPECT_EQ(window.panel, " No Archive is not installed");
}

TEST_F(CommandsTest, RunThatInstallsDoesNotStartTheProgram) {
  window.selected = "Dice";
  Commands().Run();
  EXPECT_EQ(window.panel, " Installation completed");
  for (const std::string& entry : journal) EXPECT_NE(entry.rfind("open:", 0), 0u) << entry;
}

TEST_F(CommandsTest, LocateFolderExploresOnlyAnInstalledProgramsFolder) {
  window.selected = "Dice";
  Commands().LocateFolder();
  fs::create_directories(data + "Dice");
  Commands().LocateFolder();
  EXPECT_EQ(journal, (TJournal{"explore:" + data + "Dice"}));
}

TEST_F(CommandsTest, SoftwarePageOpensOnlyWebAddresses) {
  const std::vector<std::pair<std::string, bool>> pages = {{"http://example.org/x", true},
                                                           {"HTTPS://example.org", true},
                                                           {"abc", false},
                                                           {"abcd", false},
                                                           {"www.example.org", false},
                                                           {"file:///etc/passwd", false},
                                                           {"ftp://example.org", false},
                                                           {"/usr/bin/xterm", false},
                                                           {"http:/x", false},
                                                           {"", false}};
  for (const auto& [page, opened] : pages) {
    journal.clear();
    lines.SetText("p.ico\nProgram\nhttp://host/p.zip\np\nd\n" + page + "\n\n\n\n\n");
    window.selected = "Program";
    Commands().OpenWebPage();
    EXPECT_EQ(journal, opened ? TJournal{"url:" + page} : TJournal{}) << page;
  }
}

TEST_F(CommandsTest, SendToDesktopWritesALauncherForAnInstalledProgramOnly) {
  const std::string home = root.Path() + "home";
  TEnvironment env{{"HOME", home}, {"XDG_CONFIG_HOME", root.Path() + "config"}};
  fs::create_directories(home + "/Desktop");
  window.selected = "Dice";
  Commands().SendToDesktop();
  EXPECT_FALSE(fs::exists(home + "/Desktop/Dice.desktop"));
  fs::create_directories(data + "Dice");
  Commands().SendToDesktop();
  EXPECT_EQ(ReadFile(home + "/Desktop/Dice.desktop"),
            "[Desktop Entry]\nType=Application\nName=Dice\nExec=\"" + data +
                "Dice/bin/dice.py\"\nPath=" + data + "Dice/bin\nIcon=" + data + "dice.ico\n");
  EXPECT_TRUE(journal.empty());
}

TEST_F(CommandsTest, ACommandStartedInsideAnotherDoesNothing) {
  TCommands commands = Commands();
  int nested = 0;
  window.onSetStatus = [&] {
    ++nested;
    commands.UpdateRepository();
    commands.Install();
  };
  window.selected = "Dice";
  commands.Install();
  EXPECT_EQ(nested, 3);
  int downloads = 0;
  for (const std::string& entry : journal) downloads += entry.rfind("download:", 0) == 0;
  EXPECT_EQ(downloads, 1);
  EXPECT_FALSE(commands.Busy());
  commands.Run();  // the guard is released after a command, also after a failure
  downloadFails = true;
  window.onSetStatus = nullptr;
  EXPECT_THROW(commands.UpdateRepository(), ServiceError);
  EXPECT_FALSE(commands.Busy());
}

}  // namespace
}  // namespace varnel::test
