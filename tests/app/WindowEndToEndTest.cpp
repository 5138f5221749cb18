// The window against nginx serving the sample repository: what a user sees from the first
// start through install, run, launcher, uninstall and a server that has gone away.
#include <gtest/gtest.h>
#include <QAction>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/DownloadProgressForm.h"
#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/StatusBar.h"
#include "catalog/Installed.h"
#include "catalog/InstalledDigests.h"
#include "tests/actions/PeerServers.h"
#include "tests/app/AppTestSupport.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

class WindowEndToEndTest : public ::testing::Test {
 protected:
  WindowEndToEndTest() {
    fs::create_directories(served);
    fs::create_directories(work);
    server = PeerServer::StartNginx(served, work);
    const std::string base = server->BaseUrl() + "/plain";
    EXPECT_TRUE(MakeSampleRepository(served, base));
    fixture.repositoryUrl = base + "/tools/software.zip";
  }

  int IndexOf(const std::string& name) {
    for (int i = 0; i < window().L1->count(); ++i) {
      if (window().L1->Item(i)->text().toStdString() == name) return i;
    }
    ADD_FAILURE() << name << " is not in the list";
    return -1;
  }
  void Select(const std::string& name) { window().L1->SetItemIndex(IndexOf(name)); }
  TForm1& window() { return *fixture.window; }

  // The repository at 256 KB/s, with Dice's archive grown to a megabyte: a download that
  // takes about four seconds.
  void OpenOnASlowServer() {
    const std::string base = server->BaseUrl() + "/slow";
    ASSERT_TRUE(MakeSampleRepository(served, base));
    fixture.repositoryUrl = base + "/tools/software.zip";
    fixture.Open();
    ASSERT_EQ(std::system(("python3 -c \"import os, zipfile; zipfile.ZipFile('" + served +
                           "tools/dice.zip', 'w').writestr('dice.py', os.urandom(1 << 20))\"")
                              .c_str()),
              0);
    Select("Dice");
  }

  // Runs step every 100 ms while a command runs, with the time since the command started.
  void WhileRunning(std::function<void(int elapsedMs)> step) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout,
                     [step = std::move(step), elapsed = 0]() mutable { step(elapsed += 100); });
    timer->start(100);
    probes.push_back(std::move(timer));
  }

  std::vector<std::unique_ptr<QTimer>> probes;
  std::string Panel() { return window().Status->PanelText(0).toStdString(); }

  TempDir servers;
  const std::string served = servers.Path() + "served/";
  const std::string work = servers.Path() + "nginx/";
  std::unique_ptr<PeerServer> server;
  TWindowFixture fixture;
};

TEST_F(WindowEndToEndTest, FirstStartInstallRunLauncherAndUninstall) {
  fixture.Open();
  EXPECT_TRUE(fixture.dialogs.errors.empty());
  EXPECT_EQ(window().L1->count(), 8);
  EXPECT_EQ(Panel(), " Ready");
  EXPECT_FALSE(fs::exists(fixture.appDir / "temp.zip"));

  // Run on a program that is not installed offers the install; No changes nothing.
  Select("Text Stats");
  fixture.dialogs.answer = false;
  window().Run1->trigger();
  ASSERT_EQ(fixture.dialogs.questions.size(), 1u);
  EXPECT_EQ(fixture.dialogs.questions[0],
            std::make_pair(std::string("Install this software?"), std::string("Text Stats")));
  EXPECT_FALSE(fs::exists(fixture.appDir / "data/Text Stats"));

  fixture.dialogs.answer = true;
  window().Install2->trigger();
  EXPECT_EQ(Panel(), " Installation completed");
  const std::string program = fixture.appDir / "data/Text Stats/bin/textstats.py";
  ASSERT_TRUE(fs::exists(program));
  EXPECT_NE(fs::status(program).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_TRUE(HasBadge(window(), IndexOf("Text Stats")));
  EXPECT_FALSE(HasBadge(window(), IndexOf("Dice")));

  fixture.journal.clear();
  window().Run1->trigger();
  EXPECT_EQ(fixture.journal, TJournal{"open:" + program});
  EXPECT_EQ(Panel(), " Run Text Stats");

  TempDir home;
  fs::create_directories(home / "config");
  WriteFile(home / "config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + (home / "Desk") + "\"\n");
  fs::create_directories(home / "Desk");
  {
    TEnvironment environment{{"XDG_CONFIG_HOME", home / "config"}, {"HOME", home.Path()}};
    window().Sendtodesktop1->trigger();
  }
  const std::string launcher = ReadFile(home / "Desk/Text Stats.desktop");
  EXPECT_NE(launcher.find("Type=Application"), std::string::npos);
  EXPECT_NE(launcher.find("Name=Text Stats"), std::string::npos);
  EXPECT_NE(launcher.find("Exec=\"" + program + "\""), std::string::npos) << launcher;

  fixture.dialogs.answer = false;
  window().Uninstall1->trigger();
  EXPECT_TRUE(fs::exists(program));
  fixture.dialogs.answer = true;
  window().Uninstall1->trigger();
  EXPECT_FALSE(fs::exists(fixture.appDir / "data/Text Stats"));
  EXPECT_EQ(Panel(), " Text Stats has been uninstalled");
  EXPECT_FALSE(HasBadge(window(), IndexOf("Text Stats")));
  EXPECT_TRUE(fixture.dialogs.errors.empty());
}

// Dice installed from an older archive is updated; Text Stats, current, is not downloaded.
TEST_F(WindowEndToEndTest, UpdateAllDownloadsOnlyTheOutdatedProgram) {
  fixture.Open();
  for (const char* name : {"Dice", "Text Stats"}) {
    Select(name);
    window().Install2->trigger();
  }
  const std::string data = fixture.appDir / "data/";
  TInstalledDigests digests = ReadInstalledDigests(SystemFileSystem(), data);
  ASSERT_EQ(digests.size(), 2u);
  const std::string offered = digests.at("Dice");
  digests["Dice"] = std::string(64, '0');
  WriteInstalledDigests(SystemFileSystem(), data, digests);
  window().RepaintList();
  EXPECT_TRUE(HasBadge(window(), IndexOf("Dice"), UpdateBadge()));
  EXPECT_EQ(window().Status->PanelText(2), " 1 update");

  WriteFile(work + "access.log", "");
  window().Updateall1->trigger();
  EXPECT_TRUE(fixture.dialogs.errors.empty());
  EXPECT_EQ(fixture.dialogs.questions.back(),
            std::make_pair(std::string("Update 1 program?\n\nDice"), std::string("Update all")));
  std::vector<std::string> archives;
  const std::string log = ReadFile(work + "access.log");
  for (size_t at = 0; (at = log.find("GET /plain/tools/", at)) != std::string::npos; ++at) {
    archives.push_back(log.substr(at + 17, log.find(' ', at + 17) - at - 17));
  }
  EXPECT_EQ(archives, (std::vector<std::string>{"software.zip", "dice.zip"}));
  EXPECT_EQ(Panel(), " 1 program updated");
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data).at("Dice"), offered);
  EXPECT_TRUE(HasBadge(window(), IndexOf("Dice")));
  EXPECT_EQ(window().Status->PanelText(2), "");
}

TEST_F(WindowEndToEndTest, UpdateWithTheServerGoneShowsTheSocketErrorAndKeepsTheList) {
  fixture.Open();
  ASSERT_EQ(window().L1->count(), 8);
  server.reset();
  window().Updatesoftwarelist1->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_EQ(fixture.dialogs.errors[0].second, "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(Panel(), " Downloading list...");
  EXPECT_FALSE(fs::exists(fixture.appDir / "temp.zip"));
  EXPECT_EQ(window().L1->count(), 8);
}

TEST_F(WindowEndToEndTest, ABodyThatIsNotAnArchiveKeepsTheList) {
  fixture.Open();
  WriteFile(served + "tools/software.zip", "<html><body>Moved</body></html>\n");
  window().Updatesoftwarelist1->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_NE(fixture.dialogs.errors[0].second.find("Invalid archive file"), std::string::npos)
      << fixture.dialogs.errors[0].second;
  EXPECT_EQ(Panel(), " Unpacking repository...");
  EXPECT_EQ(window().L1->count(), 8);
}

// A window with the sample repository's key takes the signed sample; a catalogue changed on
// the server after it was signed is refused, and the list and DataDir stay as they were.
TEST_F(WindowEndToEndTest, ATamperedCatalogueIsRefusedAndTheListStays) {
  const char* source = std::getenv("VARNEL_SOURCE_DIR");
  fixture.repositoryKey = ReadFile(std::string(source ? source : ".") +
                                   "/examples/TEST-ONLY-sample-repository-key.pub");
  fixture.repositoryKey.erase(fixture.repositoryKey.find_last_not_of("\n") + 1);
  fixture.Open();
  ASSERT_TRUE(fixture.dialogs.errors.empty());
  ASSERT_EQ(window().L1->count(), 8);
  const std::string catalogue = ReadFile(fixture.appDir / "data/software.dat");
  ASSERT_EQ(
      std::system(("cd '" + served +
                   "tools' && python3 -c \"import zipfile; "
                   "zipfile.ZipFile('software.zip', 'w').writestr('software.dat', 'forged')\"")
                      .c_str()),
      0);
  window().Updatesoftwarelist1->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_TRUE(fixture.dialogs.errors[0].second.starts_with(
      "The repository's catalogue is not the one its signature describes"))
      << fixture.dialogs.errors[0].second;
  EXPECT_EQ(window().L1->count(), 8);
  EXPECT_EQ(ReadFile(fixture.appDir / "data/software.dat"), catalogue);
}

TEST_F(WindowEndToEndTest, ASlowDownloadKeepsTheWindowAliveShowsProgressAndCancelsOnEscape) {
  OpenOnASlowServer();
  std::set<QString> clock;
  std::vector<int> bar;
  bool progressShown = false;
  WhileRunning([&](int ms) {
    clock.insert(window().Status->PanelText(1));
    progressShown = progressShown || window().Form2->isVisible();
    bar.push_back(window().Form2->ProgressBar1->value());
    // Input to the main window meanwhile does nothing, now or later.
    if (ms == 1500) {
      QTest::keyClick(window().L1, Qt::Key_Return);
      QTest::mouseDClick(window().L1->viewport(), Qt::LeftButton);
      QTest::keyClick(window().L1, Qt::Key_F5);
    }
    if (ms == 2500) QTest::keyClick(window().Form2, Qt::Key_Escape);
  });
  window().Install2->trigger();
  QCoreApplication::processEvents();
  EXPECT_GE(clock.size(), 2u);
  EXPECT_TRUE(progressShown);
  EXPECT_EQ(window().Form2->windowTitle(), "Dice");
  ASSERT_GE(bar.size(), 20u);
  EXPECT_GT(bar[20], bar[5]);
  EXPECT_EQ(fixture.dialogs.questions.size(), 1u);
  EXPECT_TRUE(fixture.dialogs.errors.empty());
  EXPECT_EQ(Panel(), " Cancelled");
  EXPECT_FALSE(fs::exists(fixture.appDir / "data/Dice"));
  EXPECT_FALSE(fs::exists(fixture.appDir / "temp.zip"));
  EXPECT_FALSE(window().Form2->isVisible());
}

TEST_F(WindowEndToEndTest, ClosingTheWindowDuringADownloadCancelsItAndCloses) {
  OpenOnASlowServer();
  window().show();
  WhileRunning([&](int ms) {
    if (ms == 1000) window().close();
  });
  window().Install2->trigger();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(Panel(), " Cancelled");
  EXPECT_TRUE(fixture.dialogs.errors.empty());
  EXPECT_FALSE(fs::exists(fixture.appDir / "data/Dice"));
}

TEST_F(WindowEndToEndTest, AnArchiveSwappedOnTheServerAfterTheCatalogueWasBuiltIsRefused) {
  fixture.Open();
  fs::copy_file(served + "tools/primes.zip", served + "tools/dice.zip",
                fs::copy_options::overwrite_existing);
  Select("Dice");
  window().Install2->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  const std::string& message = fixture.dialogs.errors[0].second;
  EXPECT_EQ(message.rfind("The archive of \"Dice\" is not the one the catalogue describes: "
                          "SHA-256 ",
                          0),
            0u)
      << message;
  EXPECT_NE(message.find(" bytes beginning 50 4B 03 04 "), std::string::npos) << message;
  EXPECT_EQ(Panel(), " Downloading archive...");
  EXPECT_FALSE(fs::exists(fixture.appDir / "temp.zip"));
  EXPECT_FALSE(fs::exists(fixture.appDir / "data/Dice"));
  EXPECT_FALSE(HasBadge(window(), IndexOf("Dice")));
}

}  // namespace
}  // namespace varnel::test
