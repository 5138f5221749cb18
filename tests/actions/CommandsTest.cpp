#include "actions/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "catalog/RepositoryLines.h"
#include "platform/Files.h"
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

  TCommands Commands() {
    return TCommands(
        TCommandContext{app, data, "http://host/tools/software.zip", lines, window, shell, prompt,
                        SystemFileSystem(),
                        [this](const std::string& url, const std::string& file) {
                          journal.push_back("download:" + url + " -> " + file);
                          WriteFile(file, downloadFails ? "" : "PK");
                          if (downloadFails)
                            throw ServiceError("Socket Error # 10061\r\nConnection refused.");
                        },
                        [this](const std::string& zip, const std::string& dest, IPrompt&,
                               const std::function<void(const std::string&)>& statusWriter) {
                          journal.push_back("extract:" + zip + " -> " + dest);
                          if (openFails) throw ServiceError("Archive is damaged");
                          fs::create_directories(dest);
                          for (const auto& [name, bytes] : archive) {
                            statusWriter(" Extracting " + name + " (100%)");
                            WriteFile(dest + "/" + name, bytes);
                          }
                          if (extractFails) throw ServiceError("Stream read error");
                        }});
  }

  void Install(const std::string& name) {
    window.selected = name;
    Commands().Install();
  }

  TempDir root;
  const std::string app = root.Path() + "app/";
  const std::string data = app + "data/";
  const std::string temp = app + "temp.zip";
  TRepositoryLines lines;
  TJournal journal;
  TRecorderWindow window{journal};
  TRecordingShell shell{journal};
  TScriptedPrompt prompt{journal};
  std::map<std::string, std::string> archive{{"a.txt", "new a"}};
  bool downloadFails = false;
  bool openFails = false;
  bool extractFails = false;
};

TEST_F(CommandsTest, UpdateRepositoryRunsItsStepsInOrderAndRemovesTheTemporaryArchive) {
  Commands().UpdateRepository();
  EXPECT_EQ(
      journal,
      (TJournal{"status: Downloading list...", "download:http://host/tools/software.zip -> " + temp,
                "status: Unpacking repository...", "extract:" + temp + " -> " + data,
                "panel: Extracting a.txt (100%)", "status: Repository has been updated", "load"}));
  EXPECT_FALSE(FileExists(SystemFileSystem(), temp));
  EXPECT_EQ(ReadFile(data + "a.txt"), "new a");
}

TEST_F(CommandsTest, InstallAsksThenDownloadsUnpacksIntoTheProgramFolderAndRepaints) {
  Install("Dice");
  EXPECT_EQ(
      journal,
      (TJournal{"confirm:Install this software?|Dice", "status: Downloading archive...",
                "download:http://host/tools/dice.zip -> " + temp, "status: Unpacking archive...",
                "extract:" + temp + " -> " + data + "Dice", "panel: Extracting a.txt (100%)",
                "status: Installation completed", "repaint"}));
  EXPECT_FALSE(FileExists(SystemFileSystem(), temp));
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), data + "Dice"));
}

// Each failing step ends the command there: the status it leaves, whether temp.zip stays,
// and that neither the reload nor the repaint happens.
struct FailureRow {
  const char* step;
  bool install;
  bool downloadFails, openFails, extractFails;
  const char* lastPanel;
  bool tempLeft;
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
  EXPECT_EQ(FileExists(SystemFileSystem(), temp), row.tempLeft);
  for (const std::string& entry : journal) {
    EXPECT_NE(entry, "load");
    EXPECT_NE(entry, "repaint");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandFailureTest,
    ::testing::Values(
        FailureRow{"update-download", false, true, false, false, " Downloading list...", true},
        FailureRow{"update-open", false, false, true, false, " Unpacking repository...", true},
        FailureRow{"update-extract", false, false, false, true, " Extracting a.txt (100%)", true},
        FailureRow{"install-download", true, true, false, false, " Downloading archive...", true},
        FailureRow{"install-open", true, false, true, false, " Unpacking archive...", true},
        FailureRow{"install-extract", true, false, false, true, " Extracting a.txt (100%)", true}),
    [](const auto& info) {
      std::string name = info.param.step;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

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

TEST_F(CommandsTest, ATemporaryArchiveThatCannotBeCreatedEndsTheInstallBeforeTheNetwork) {
  fs::remove_all(app);
  window.selected = "Dice";
  TCommands commands(
      TCommandContext{app, data, "", lines, window, shell, prompt, SystemFileSystem(), {}, {}});
  try {
    commands.Install();
    ADD_FAILURE() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + temp + "\". ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(window.panel, " Downloading archive...");
}

TEST_F(CommandsTest, InstallNeedsAnArchiveUrlOfFiveCharacters) {
  Install("No Archive");
  EXPECT_TRUE(journal.empty());
  Install("Not In Catalogue");
  EXPECT_TRUE(journal.empty());
  Install("Five");
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal[2], "download:h://x -> " + temp);
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
  window.selected = "Dice";
  Commands().Uninstall();
  EXPECT_EQ(journal, (TJournal{"confirm:Confirm uninstall?|Dice", "status: Deleting Dice",
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
  const std::vector<std::string> unsafe = {
      "", ".", "..", "../app", "a/b", "a\\b", std::string("a\0b", 3)};
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
