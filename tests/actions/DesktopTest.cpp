#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "actions/DesktopShortcut.h"
#include "platform/DesktopFolder.h"
#include "tests/actions/CommandFakes.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

struct FolderCase {
  const char* name;
  const char* userDirs;  // nullptr: no user dirs file
  bool home;
  const char* expected;  // with "~" for the home folder; or the message of the failure
  bool fails;
};

TEST(DesktopFolderTest, FromUserDirsOrHomeWithTheLookupsMessageForms) {
  const FolderCase cases[] = {
      {"no-file", nullptr, true, "~/Desktop", false},
      {"file-without-entry", "XDG_MUSIC_DIR=\"$HOME/Music\"\n", true, "~/Desktop", false},
      {"home-relative", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", true, "~/Bureau", false},
      {"absolute", "XDG_DESKTOP_DIR=\"/srv/desk\"\r\n", true, "/srv/desk", false},
      {"last-entry-wins", "XDG_DESKTOP_DIR=\"/a\"\nXDG_DESKTOP_DIR=\"/b\"\n", true, "/b", false},
      // The file is shell text: '"', '$', '`' and '\' inside the quotes take a backslash.
      {"shell-escaped", "XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\" \\$x \\`y\\` \\\\ z\"\n", true,
       "~/My \"Desk\" $x `y` \\ z", false},
      {"empty-value", "XDG_DESKTOP_DIR=\"\"\n", true, "\"Desktop\" item not found in registry",
       true},
      {"no-home", nullptr, false, "\"Desktop\" item not found in registry", true},
      {"home-needed-but-unset", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", false,
       "\"Desktop\" item not found in registry", true},
      {"unquoted", "XDG_DESKTOP_DIR=/srv/desk\n", true, "Invalid data type for 'Desktop'", true},
      {"relative", "XDG_DESKTOP_DIR=\"Desktop\"\n", true, "Invalid data type for 'Desktop'", true},
  };
  for (const FolderCase& c : cases) {
    TempDir root;
    const std::string home = root.Path() + "home";
    const std::string config = root.Path() + "config";
    fs::create_directories(config);
    if (c.userDirs) WriteFile(config + "/user-dirs.dirs", c.userDirs);
    std::string expected = c.expected;
    if (expected.starts_with("~")) expected = home + expected.substr(1);
    try {
      std::string folder = DesktopFolderFrom(SystemFileSystem(), c.home ? home : "", config);
      EXPECT_FALSE(c.fails) << c.name;
      EXPECT_EQ(folder, expected) << c.name;
    } catch (const ERegistryException& e) {
      EXPECT_TRUE(c.fails) << c.name << ": " << e.Message();
      EXPECT_EQ(e.Message(), expected) << c.name;
    }
  }
}

TEST(DesktopFolderTest, ConfigDefaultsToDotConfigAndAnUnreadableFileIsAMissingKey) {
  TempDir root;
  const std::string home = root.Path() + "home";
  fs::create_directories(home + "/.config");
  WriteFile(home + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  EXPECT_EQ(DesktopFolderFrom(SystemFileSystem(), home, ""), home + "/Schreibtisch");
  EXPECT_EQ(DesktopFolderFrom(SystemFileSystem(), home, "relative/ignored"),
            home + "/Schreibtisch");

  const std::string config = root.Path() + "config";
  fs::create_directories(config + "/user-dirs.dirs");
  try {
    DesktopFolderFrom(SystemFileSystem(), home, config);
    ADD_FAILURE() << "a folder in place of the file was read";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Folder key \"" + config + "/user-dirs.dirs\" not found");
  }
}

TEST(DesktopEntryTest, HoldsTheLaunchersFieldsWithTheProgramPathQuoted) {
  EXPECT_EQ(
      DesktopEntryText("/opt/app/data/Dice/bin/dice.py", "Dice", "/opt/app/data/dice.ico"),
      "[Desktop Entry]\nType=Application\nName=Dice\nExec=\"/opt/app/data/Dice/bin/dice.py\"\n"
      "Path=/opt/app/data/Dice/bin\nIcon=/opt/app/data/dice.ico\n");
  // Inside the quotes '"', '`', '$' and '\' take a backslash, which the string value escapes
  // once more; '%' is doubled so it is no field code.
  EXPECT_EQ(DesktopEntryText("/d/My \"$x`\\ 100%/run", "A\\B", ""),
            "[Desktop Entry]\nType=Application\nName=A\\\\B\n"
            "Exec=\"/d/My \\\\\"\\\\$x\\\\`\\\\\\\\ 100%%/run\"\n"
            "Path=/d/My \"$x`\\\\ 100%\n");
}

class DesktopShortcutTest : public ::testing::Test {
 protected:
  TempDir root;
  const std::string home = root.Path() + "home";
  TEnvironment env{{"HOME", home}, {"XDG_CONFIG_HOME", root.Path() + "config"}};
};

TEST_F(DesktopShortcutTest, WritesAnExecutableLauncherIntoTheDesktopFolder) {
  fs::create_directories(home + "/Desktop");
  CreateDesktopShortcut(SystemFileSystem(), "/p/Dice/dice.py", "Dice", "/p/dice.ico");
  CreateDesktopShortcut(SystemFileSystem(), "/p/Dice/dice.py", "Dice",
                        "/p/dice.ico");  // the same file again
  const std::string launcher = home + "/Desktop/Dice.desktop";
  EXPECT_EQ(ReadFile(launcher), DesktopEntryText("/p/Dice/dice.py", "Dice", "/p/dice.ico"));
  EXPECT_NE(fs::status(launcher).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(std::distance(fs::directory_iterator(home + "/Desktop"), fs::directory_iterator()), 1);
}

TEST_F(DesktopShortcutTest, AMissingDesktopFolderWritesNothingAndReportsNothing) {
  EXPECT_NO_THROW(CreateDesktopShortcut(SystemFileSystem(), "/p/Dice/dice.py", "Dice", ""));
  EXPECT_FALSE(fs::exists(home + "/Desktop"));
}

TEST_F(DesktopShortcutTest, AFailedLookupRaisesAndWritesNothing) {
  fs::create_directories(root.Path() + "config");
  WriteFile(root.Path() + "config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"\"\n");
  try {
    CreateDesktopShortcut(SystemFileSystem(), "/p/Dice/dice.py", "Dice", "");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "\"Desktop\" item not found in registry");
  }
}

}  // namespace
}  // namespace varnel::test
