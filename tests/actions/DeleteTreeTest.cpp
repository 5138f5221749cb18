#include "actions/DeleteTree.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "platform/Exception.h"
#include "platform/FaultyFileSystem.h"
#include "platform/Files.h"
#include "platform/MemoryFileSystem.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

class DeleteTreeTest : public ::testing::Test {
 protected:
  DeleteTreeTest() {
    fs::create_directories(program + "/nested/deeper");
    fs::create_directories(outside + "/folder");
    WriteFile(outside + "/file.txt", "outside");
    WriteFile(outside + "/folder/inner.txt", "outside");
  }

  bool Empty(const std::string& folder) { return fs::is_empty(folder); }

  TempDir root;
  const std::string program = root.Path() + "data/Program";
  const std::string outside = root.Path() + "outside";
};

TEST_F(DeleteTreeTest, RemovesReadOnlyHiddenAndNestedEntriesAndKeepsTheFolder) {
  WriteFile(program + "/.hidden", "h");
  WriteFile(program + "/readonly.txt", "r");
  WriteFile(program + "/nested/deeper/file.bin", "f");
  WriteFile(program + "/nested/.config", "c");
  fs::permissions(program + "/readonly.txt", fs::perms::owner_read);
  // A folder without write bits stands for a read-only folder: it is emptied all the same.
  fs::permissions(program + "/nested/deeper", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(program + "/nested", fs::perms::owner_read | fs::perms::owner_exec);
  DeleteTree(SystemFileSystem(), program);
  EXPECT_TRUE(fs::is_directory(program));
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, RemovesLinksWithoutFollowingThem) {
  fs::create_symlink(outside + "/file.txt", program + "/file-link");
  fs::create_directory_symlink(outside + "/folder", program + "/nested/folder-link");
  fs::create_symlink(root.Path() + "missing", program + "/dangling");
  DeleteTree(SystemFileSystem(), program);
  EXPECT_TRUE(Empty(program));
  EXPECT_EQ(ReadFile(outside + "/file.txt"), "outside");
  EXPECT_EQ(ReadFile(outside + "/folder/inner.txt"), "outside");
}

TEST_F(DeleteTreeTest, AFolderPathThatIsALinkIsLeftAlone) {
  fs::create_directory_symlink(outside, root.Path() + "data/Linked");
  DeleteTree(SystemFileSystem(), root.Path() + "data/Linked");
  DeleteTree(SystemFileSystem(), root.Path() + "data/Linked/");
  EXPECT_EQ(ReadFile(outside + "/file.txt"), "outside");
}

TEST_F(DeleteTreeTest, ATrailingSeparatorMakesNoDifference) {
  WriteFile(program + "/nested/a.txt", "a");
  DeleteTree(SystemFileSystem(), program + "/");
  EXPECT_TRUE(fs::is_directory(program));
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, NamesOutsideAnyCodePageAreDeletedLikeOthers) {
  WriteFile(program + "/\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80.txt", "u");
  fs::create_directories(program + "/\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0");
  DeleteTree(SystemFileSystem(), program);
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, AMissingFolderIsNoFailure) {
  EXPECT_NO_THROW(DeleteTree(SystemFileSystem(), root.Path() + "missing"));
  EXPECT_NO_THROW(DeleteTree(SystemFileSystem(), ""));
}

// Once one open folder per level: 1,100 levels failed under the usual limit of open files.
TEST_F(DeleteTreeTest, ATreeDeeperThanTheOpenFileLimitIsUninstalled) {
  std::string deepest = program;
  for (int level = 0; level < 1100; ++level) deepest += "/d";
  ASSERT_TRUE(ForceDirectories(SystemFileSystem(), deepest));
  WriteFile(deepest + "/leaf.txt", "leaf");
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit low = saved;
  low.rlim_cur = 256;
  setrlimit(RLIMIT_NOFILE, &low);
  DeleteTree(SystemFileSystem(), program);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_TRUE(Empty(program));
}

// An I/O error on one file keeps that file and the folders above it; the rest goes (a link
// as a link), and the final removal of the folder reports what stayed.
TEST(DeleteTreeFaultTest, AnIOErrorKeepsOnlyWhatItHit) {
  TMemoryFileSystem memory;
  for (const char* folder : {"/p", "/p/a", "/p/a/b", "/p/c"}) memory.CreateFolder(folder);
  for (const char* file : {"/keep", "/p/a/b/1", "/p/a/b/2", "/p/c/3", "/p/4"}) {
    memory.WriteFile(file, "x");
  }
  memory.CreateLink("/p/c/link", "/keep");
  TFaultyFileSystem faulty(memory);
  faulty.FailNth(TFileOperation::RemoveFile, 2, 23);  // the fake lists in name order: "/p/a/b/1"
  DeleteTree(faulty, "/p");
  EXPECT_EQ(memory.Listing(),
            (std::vector<std::string>{"/keep", "/p/", "/p/a/", "/p/a/b/", "/p/a/b/1"}));
  try {
    RmDir(faulty, "/p");
    ADD_FAILURE() << "removed";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 145);
  }
}

}  // namespace
}  // namespace varnel::test
