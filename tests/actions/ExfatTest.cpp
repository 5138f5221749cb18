// The commands on a real exFAT file system (FUSE over a loop device): no atomic exchange, no
// links, fixed modes. Needs root, mkfs.exfat, mount.exfat-fuse and losetup; skipped, with the
// reason, where one is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "actions/Commands.h"
#include "catalog/RepositoryLines.h"
#include "tests/actions/CommandFakes.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

int Shell(const std::string& command) {
  return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str());
}

std::string FirstLine(const std::string& command) {
  std::string line;
  if (FILE* out = ::popen(command.c_str(), "r")) {
    char buffer[256];
    if (std::fgets(buffer, sizeof buffer, out)) line = buffer;
    ::pclose(out);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// A 64 MiB exFAT image in folder, mounted at folder + "mnt/" for one test and unmounted (lazily
// when it is busy) at its end, also when an assertion failed.
class ExfatMount {
 public:
  explicit ExfatMount(const std::string& folder) : path_(folder + "mnt/") {
    const std::string image = folder + "exfat.img";
    if (::geteuid() != 0) {
      reason_ = "mounting needs root";
    } else if (Shell(
                   "command -v mkfs.exfat && command -v mount.exfat-fuse && command -v losetup")) {
      reason_ = "mkfs.exfat, mount.exfat-fuse or losetup is missing (exfatprogs, exfat-fuse)";
    } else if (Shell("truncate -s 64M '" + image + "' && mkfs.exfat '" + image + "'")) {
      reason_ = "mkfs.exfat failed";
    } else if ((loop_ = FirstLine("losetup -f --show '" + image + "' 2>/dev/null")).empty()) {
      reason_ = "no loop device could be set up";
    } else if (fs::create_directories(path_),
               Shell("mount.exfat-fuse " + loop_ + " '" + path_ + "'")) {
      reason_ = "mount.exfat-fuse failed (no /dev/fuse?)";
    } else {
      mounted_ = true;
    }
  }
  ~ExfatMount() {
    if (mounted_ && Shell("fusermount -u '" + path_ + "'")) Shell("umount -l '" + path_ + "'");
    if (!loop_.empty()) Shell("losetup -d " + loop_);
  }
  ExfatMount(const ExfatMount&) = delete;
  ExfatMount& operator=(const ExfatMount&) = delete;

  const std::string& Reason() const { return reason_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string loop_;
  std::string reason_;
  bool mounted_ = false;
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

ConnectionScript Serving(const std::string& body) {
  return {{{Ok(body), 0}}, false};
}

class ExfatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mount.Reason().empty()) GTEST_SKIP() << "no exFAT mount: " << mount.Reason();
  }

  TCommands Commands(const std::string& app, const std::string& baseUrl) {
    lines.SetText("dice.ico\nDice\n" + baseUrl + "/dice.zip\nrun.sh\nRolls dice\n\n\n\n\n\n");
    return TCommands(TCommandContext{app,
                                     app + "data/",
                                     baseUrl + "/software.zip",
                                     lines,
                                     window,
                                     shell,
                                     prompt,
                                     SystemFileSystem(),
                                     host,
                                     {},
                                     {},
                                     {}});
  }

  TempDir root;
  ExfatMount mount{root.Path()};
  TRepositoryLines lines;
  TJournal journal;
  TRecorderWindow window{journal};
  TRecordingShell shell{journal};
  ScriptedPrompt prompt;
  TRecordingHost host;
};

const uint32_t kExecutable = 0100755u << 16;

std::string Version(const std::string& a, int extra = 0) {
  std::vector<TestEntry> entries = {{.name = "a.txt", .data = a},
                                    {.name = "run.sh",
                                     .data = "#!/bin/sh\n",
                                     .versionMadeBy = 0x031E,
                                     .externalAttr = kExecutable}};
  for (int i = 0; i < extra; ++i)
    entries.push_back({.name = "many/" + std::to_string(i), .data = "x"});
  return BuildZip(entries);
}

TEST_F(ExfatTest, InstallUpdateCancelAndUninstallFromAFolderOnExfat) {
  const std::string app = mount.Path() + "portable/";
  const std::string data = app + "data/";
  ScriptServer server({Serving(Version("first a")), Serving(Version("second a")),
                       Serving(Version("third a", 400))});
  TCommands commands = Commands(app, server.BaseUrl());
  fs::create_directories(data);
  commands.FirstStart();
  EXPECT_THROW(Commands(app, server.BaseUrl()).FirstStart(), EInstanceRunning);

  window.selected = "Dice";
  commands.Install();
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "first a");

  // The update can't exchange the folders here; the user's file the archive lacks stays.
  WriteFile(data + "Dice/settings.ini", "the user's settings");
  commands.Install();
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "second a");
  EXPECT_EQ(ReadFile(data + "Dice/settings.ini"), "the user's settings");

  // Cancel in the middle of unpacking leaves the installed version as it was.
  host.onEvents = [&](const std::function<void()>& cancel) {
    if (!host.shown.empty() && host.shown.back().Kind == pkExtract) cancel();
  };
  commands.Install();
  host.onEvents = nullptr;
  EXPECT_EQ(window.panel, " Cancelled");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "second a");
  EXPECT_EQ(ReadFile(data + "Dice/settings.ini"), "the user's settings");
  EXPECT_FALSE(fs::exists(data + "Dice/many"));
  EXPECT_TRUE(fs::is_empty(data + ".varnel-staging"));

  commands.Uninstall();
  EXPECT_EQ(window.panel, " Dice has been uninstalled");
  EXPECT_FALSE(fs::exists(data + "Dice"));
}

// data/ a link to a folder on another disk: every rename still stays on one file system.
TEST_F(ExfatTest, InstallAndUpdateWithTheDataFolderLinkedToAnotherDisk) {
  const std::string app = root.Path() + "portable/";
  fs::create_directories(app);
  fs::create_directories(mount.Path() + "data");
  fs::create_directory_symlink(mount.Path() + "data", app + "data");
  ScriptServer server({Serving(Version("first a")), Serving(Version("second a"))});
  TCommands commands = Commands(app, server.BaseUrl());
  commands.FirstStart();
  window.selected = "Dice";
  commands.Install();
  WriteFile(app + "data/Dice/settings.ini", "the user's settings");
  commands.Install();
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_EQ(ReadFile(mount.Path() + "data/Dice/a.txt"), "second a");
  EXPECT_EQ(ReadFile(mount.Path() + "data/Dice/settings.ini"), "the user's settings");
}

}  // namespace
}  // namespace varnel::test
