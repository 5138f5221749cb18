// Update, install, run, update again and uninstall with the real download and extraction,
// against nginx serving what scripts/make-repository makes of the sample repository.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "actions/Commands.h"
#include "catalog/RepositoryLines.h"
#include "http/NetExceptions.h"
#include "platform/Files.h"
#include "tests/actions/CommandFakes.h"
#include "tests/actions/PeerServers.h"
#include "tests/support/TempDir.h"
#include "zip/ZipException.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

class CommandsEndToEndTest : public ::testing::Test {
 protected:
  CommandsEndToEndTest() {
    fs::create_directories(served);
    fs::create_directories(work);
    fs::create_directories(app);
    window.onLoadRepository = [this] {
      lines.Clear();
      lines.LoadFromFile(data + "software.dat");
    };
  }

  // nginx serving the sample repository; the catalogue's archive URLs point back at it.
  std::string ServeRepository() {
    server = PeerServer::StartNginx(served, work);
    const std::string base = server->BaseUrl() + "/plain";
    EXPECT_TRUE(MakeSampleRepository(served, base));
    return base + "/tools/software.zip";
  }

  TCommands Commands(const std::string& repositoryUrl, IShell& withShell) {
    return TCommands(TCommandContext{app,
                                     data,
                                     repositoryUrl,
                                     lines,
                                     window,
                                     withShell,
                                     prompt,
                                     SystemFileSystem(),
                                     host,
                                     nullptr,
                                     nullptr,
                                     {}});
  }

  TempDir root;
  const std::string served = root.Path() + "served/";
  const std::string work = root.Path() + "nginx/";
  const std::string app = root.Path() + "portable/";
  const std::string data = app + "data/";
  std::unique_ptr<PeerServer> server;
  TRepositoryLines lines;
  TJournal journal;
  TRecorderWindow window{journal};
  TRecordingShell shell{journal};
  TScriptedPrompt prompt{journal};
  TRecordingHost host;
};

TEST_F(CommandsEndToEndTest, UpdateInstallRunUpdateAndUninstallAgainstNginx) {
  TCommands commands = Commands(ServeRepository(), shell);

  commands.FirstStart();
  EXPECT_EQ(lines.Count(), 80);
  EXPECT_EQ(lines.Get(1), "Clock Note");
  EXPECT_TRUE(FileExists(SystemFileSystem(), data + "dice.ico"));
  EXPECT_FALSE(fs::exists(app + "temp.zip"));

  window.selected = "Text Stats";
  commands.Install();
  EXPECT_EQ(window.panel, " Installation completed");
  const std::string program = data + "Text Stats/bin/textstats.py";
  ASSERT_TRUE(FileExists(SystemFileSystem(), program));
  EXPECT_NE(fs::status(program).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_FALSE(fs::exists(app + "temp.zip"));

  journal.clear();
  commands.Run();
  EXPECT_EQ(journal, (TJournal{"panel: Run Text Stats", "open:" + program}));

  // An update unpacks over the old version: a file the archive lacks stays.
  WriteFile(data + "Text Stats/settings.ini", "kept");
  WriteFile(data + "Text Stats/README.txt", "old text");
  commands.Install();
  EXPECT_EQ(ReadFile(data + "Text Stats/settings.ini"), "kept");
  EXPECT_NE(ReadFile(data + "Text Stats/README.txt"), "old text");

  // Uninstall of a folder holding read-only, hidden and nested files and a link outside.
  const std::string outside = root.Path() + "outside.txt";
  WriteFile(outside, "outside");
  fs::create_directories(data + "Text Stats/deep/er");
  WriteFile(data + "Text Stats/deep/er/.hidden", "h");
  fs::permissions(data + "Text Stats/deep/er", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(program, fs::perms::owner_read);
  fs::create_symlink(outside, data + "Text Stats/deep/outside-link");
  journal.clear();
  commands.Uninstall();
  // A deletion over before the window thread has taken "Deleting Text Stats" has the next
  // text replace it.
  std::erase(journal, "status: Deleting Text Stats");
  EXPECT_EQ(journal, (TJournal{"confirm:Confirm uninstall?|Text Stats",
                               "status: Text Stats has been uninstalled", "repaint"}));
  EXPECT_FALSE(fs::exists(data + "Text Stats"));
  EXPECT_EQ(ReadFile(outside), "outside");
}

TEST_F(CommandsEndToEndTest, RunReallyStartsAnInstalledProgram) {
  TPosixShell realShell;
  TCommands commands = Commands(ServeRepository(), realShell);
  commands.FirstStart();
  window.selected = "Clock Note";
  commands.Run();  // not installed: asks, installs, does not start it
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_FALSE(fs::exists(data + "Clock Note/last-run.txt"));
  commands.Run();
  const std::string marker = data + "Clock Note/last-run.txt";
  for (int i = 0; i < 200 && !(fs::exists(marker) && fs::file_size(marker) > 0); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_TRUE(fs::exists(marker));
  EXPECT_EQ(ReadFile(marker).rfind("Clock Note started at ", 0), 0u);
}

TEST_F(CommandsEndToEndTest, AServerThatIsNotThereLeavesNoArchiveBehind) {
  TCommands commands = Commands(ServeRepository(), shell);
  server.reset();
  MkDir(SystemFileSystem(), data);
  try {
    commands.UpdateRepository();
    ADD_FAILURE() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.LastError(), 10061);
    EXPECT_EQ(e.Message().rfind("Socket Error # 10061\r\n", 0), 0u) << e.Message();
  }
  EXPECT_EQ(window.panel, " Downloading list...");
  EXPECT_FALSE(fs::exists(app + "temp.zip"));
  EXPECT_TRUE(fs::is_empty(data + ".varnel-staging"));
  EXPECT_EQ(lines.Count(), 0);
}

TEST_F(CommandsEndToEndTest, ABodyThatIsNotAnArchiveLeavesTheListAsItWas) {
  TCommands commands = Commands(ServeRepository(), shell);
  commands.FirstStart();
  WriteFile(served + "tools/software.zip", "<html>not an archive</html>\n");
  try {
    commands.UpdateRepository();
    ADD_FAILURE() << "no exception";
  } catch (const EZipException& e) {
    EXPECT_EQ(e.NativeError(), 35) << e.Message();
  }
  EXPECT_EQ(window.panel, " Unpacking repository...");
  EXPECT_TRUE(fs::is_empty(data + ".varnel-staging"));
  EXPECT_EQ(lines.Count(), 80);
}

}  // namespace
}  // namespace varnel::test
