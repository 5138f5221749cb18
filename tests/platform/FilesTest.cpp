#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using test::TempDir;

int MkDirErrorCode(const std::string& path) {
  try {
    MkDir(SystemFileSystem(), path);
  } catch (const EInOutError& e) {
    return e.ErrorCode();
  }
  return 0;
}

TEST(MkDir, MapsTheSystemErrorsTheWindowShows) {
  TempDir dir;
  test::WriteFile(dir / "data", "x");
  EXPECT_EQ(MkDirErrorCode(dir / "data/"), 183);  // a file of that name
  EXPECT_EQ(MkDirErrorCode(dir / "missing/data/"), 3);
  EXPECT_EQ(MkDirErrorCode(dir / "fresh/"), 0);
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), dir / "fresh"));
  EXPECT_FALSE(DirectoryExists(SystemFileSystem(), dir / "data"));
  EXPECT_TRUE(FileExists(SystemFileSystem(), dir / "data"));
  if (::geteuid() != 0) {
    ::chmod((dir / "fresh").c_str(), 0555);
    EXPECT_EQ(MkDirErrorCode(dir / "fresh/inner"), 5);
  }
}

TEST(RmDir, ReportsAFolderThatIsNotEmpty) {
  TempDir dir;
  ASSERT_TRUE(ForceDirectories(SystemFileSystem(), dir / "a/b/c"));
  try {
    RmDir(SystemFileSystem(), dir / "a/");
    FAIL() << "removed a folder that is not empty";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 145);
    EXPECT_EQ(e.Message(), "I/O error 145");
  }
  EXPECT_TRUE(RemoveDir(SystemFileSystem(), dir / "a/b/c/"));
  EXPECT_FALSE(DirectoryExists(SystemFileSystem(), dir / "a/b/c"));
}

TEST(Paths, JoinAndSplit) {
  EXPECT_EQ(JoinPath("/app/", "data/"), "/app/data/");
  EXPECT_EQ(JoinPath("/app", "/x"), "/app/x");
  EXPECT_EQ(ExtractFilePath("/app/bin/VarnelTools"), "/app/bin/");
  EXPECT_EQ(ExtractFileDir("/app/bin/VarnelTools"), "/app/bin");
  EXPECT_EQ(ExtractFileName("/app/bin/Tool.new.EXE"), "Tool.new.EXE");
}

TEST(Paths, OnlyPlainComponentsAreFolderNames) {
  EXPECT_TRUE(IsPlainPathComponent("Notepad 2"));
  EXPECT_TRUE(IsPlainPathComponent("...dots"));
  for (const std::string& bad :
       std::vector<std::string>{"", ".", "..", "a/b", "a\\b", "/", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsPlainPathComponent(bad)) << bad;
  }
}

}  // namespace
}  // namespace varnel
