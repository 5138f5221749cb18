// The window against nginx serving the sample repository: what a user sees from the first
// start through install, run, launcher, uninstall and a server that has gone away.
#include <gtest/gtest.h>
#include <QAction>

#include <filesystem>

#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/StatusBar.h"
#include "catalog/Installed.h"
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
      if (window().L1->item(i)->text().toStdString() == name) return i;
    }
    ADD_FAILURE() << name << " is not in the list";
    return -1;
  }
  void Select(const std::string& name) { window().L1->SetItemIndex(IndexOf(name)); }
  TForm1& window() { return *fixture.window; }
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

TEST_F(WindowEndToEndTest, UpdateWithTheServerGoneShowsTheSocketErrorAndKeepsTheList) {
  fixture.Open();
  ASSERT_EQ(window().L1->count(), 8);
  server.reset();
  window().Updatesoftwarelist1->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_EQ(fixture.dialogs.errors[0].second, "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(Panel(), " Downloading list...");
  EXPECT_EQ(ReadFile(fixture.appDir / "temp.zip"), "");
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
