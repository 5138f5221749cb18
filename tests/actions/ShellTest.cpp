#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

// Waits (bounded) for a file a started process writes.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 200 && !fs::exists(path + ".done"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return fs::exists(path + ".done") ? ReadFile(path) : std::string("<never written>");
}

void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() {
    WriteScript(opener, "printf '%s|' \"$@\" >\"" + log + "\"; touch \"" + log + ".done\"\n");
  }

  TempDir root;
  const std::string log = root.Path() + "opener.log";
  const std::string opener = root.Path() + "opener";
  TPosixShell shell{opener};
};

TEST_F(ShellTest, AnExecutableFileIsStartedWithoutAWorkingFolderOfItsOwn) {
  const std::string program = root.Path() + "program folder/run me";
  fs::create_directories(root.Path() + "program folder");
  const std::string out = root.Path() + "started";
  WriteScript(program,
              "pwd >\"" + out + "\"; echo \"$0\" >>\"" + out + "\"; touch \"" + out + ".done\"\n");
  shell.Open(program);
  EXPECT_EQ(WaitForFile(out), fs::current_path().string() + "\n" + program + "\n");
  EXPECT_FALSE(fs::exists(log));
}

TEST_F(ShellTest, AnythingElseGoesToTheOpener) {
  WriteFile(root.Path() + "notes.txt", "text");
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {root.Path() + "notes.txt", [&] { shell.Open(root.Path() + "notes.txt"); }},
      {root.Path(), [&] { shell.Open(root.Path()); }},
      {root.Path() + "missing.exe", [&] { shell.Open(root.Path() + "missing.exe"); }},
      {root.Path() + "sub", [&] { shell.Explore(root.Path() + "sub"); }},
      {"https://example.org/a b", [&] { shell.OpenUrl("https://example.org/a b"); }},
  };
  for (const auto& [argument, call] : cases) {
    fs::remove(log);
    fs::remove(log + ".done");
    call();
    EXPECT_EQ(WaitForFile(log), argument + "|");
  }
}

TEST_F(ShellTest, EmptyTextStartsNothing) {
  shell.Open("");
  shell.Explore("");
  shell.OpenUrl("");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(log));
}

// The opener can't be started, or fails before the grace time is up: the user is told why.
TEST_F(ShellTest, OpenerFailuresAreReported) {
  const std::string done = root.Path() + "done";
  WriteScript(root.Path() + "no-handler", "exit 3\n");
  WriteScript(root.Path() + "killed", "kill -9 $$\n");
  const std::string ended = root.Path() + "ended";
  WriteScript(root.Path() + "keeps-running", "while [ ! -e '" + done +
                                                 "' ]; do sleep 0.05; done\n" + "touch '" + ended +
                                                 "' '" + ended + ".done'\n");
  WriteFile(root.Path() + "not-executable", "#!/bin/sh\n");
  const std::string url = "https://example.org/";
  const std::pair<std::string, std::string> cases[] = {
      {"missing", "missing, which hands it to the desktop, is not installed"},
      {"not-executable", "not-executable could not be started (Access is denied)"},
      {"no-handler", "no-handler failed with exit code 3 (no program to open it was found)"},
      {"killed", "killed was ended by signal 9"},
      {"keeps-running", ""},
  };
  for (const auto& [opener, reason] : cases) {
    TPosixShell shell(root.Path() + opener, 300);
    std::string message;
    try {
      shell.OpenUrl(url);
    } catch (const EShellError& e) {
      message = e.Message();
    }
    EXPECT_EQ(message, reason.empty() ? "" : "Can't open \"" + url + "\": " + root.Path() + reason);
  }
  WriteFile(done, "");
  WaitForFile(ended);  // the opener that kept running has ended before its folder goes
  EXPECT_THROW(TPosixShell(root.Path() + "no-handler").Explore(root.Path()), EShellError);
}

TEST(IsExecutableFileTest, NeedsARegularFileWithAnExecuteBit) {
  TempDir root;
  WriteFile(root / "plain", "x");
  WriteFile(root / "exec", "x");
  fs::permissions(root / "exec", fs::perms::owner_read | fs::perms::others_exec);
  fs::create_symlink(root / "exec", root / "link");
  fs::create_directories(root / "folder");
  EXPECT_FALSE(IsExecutableFile(root / "plain"));
  EXPECT_TRUE(IsExecutableFile(root / "exec"));
  EXPECT_TRUE(IsExecutableFile(root / "link"));
  EXPECT_FALSE(IsExecutableFile(root / "folder"));
  EXPECT_FALSE(IsExecutableFile(root / "missing"));
}

}  // namespace
}  // namespace varnel::test
