#include "actions/DeleteTree.h"

#include <gtest/gtest.h>

#include <filesystem>

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
  DeleteTree(program);
  EXPECT_TRUE(fs::is_directory(program));
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, RemovesLinksWithoutFollowingThem) {
  fs::create_symlink(outside + "/file.txt", program + "/file-link");
  fs::create_directory_symlink(outside + "/folder", program + "/nested/folder-link");
  fs::create_symlink(root.Path() + "missing", program + "/dangling");
  DeleteTree(program);
  EXPECT_TRUE(Empty(program));
  EXPECT_EQ(ReadFile(outside + "/file.txt"), "outside");
  EXPECT_EQ(ReadFile(outside + "/folder/inner.txt"), "outside");
}

TEST_F(DeleteTreeTest, AFolderPathThatIsALinkIsLeftAlone) {
  fs::create_directory_symlink(outside, root.Path() + "data/Linked");
  DeleteTree(root.Path() + "data/Linked");
  DeleteTree(root.Path() + "data/Linked/");
  EXPECT_EQ(ReadFile(outside + "/file.txt"), "outside");
}

TEST_F(DeleteTreeTest, ATrailingSeparatorMakesNoDifference) {
  WriteFile(program + "/nested/a.txt", "a");
  DeleteTree(program + "/");
  EXPECT_TRUE(fs::is_directory(program));
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, NamesOutsideAnyCodePageAreDeletedLikeOthers) {
  WriteFile(program + "/\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80.txt", "u");
  fs::create_directories(program + "/\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0");
  DeleteTree(program);
  EXPECT_TRUE(Empty(program));
}

TEST_F(DeleteTreeTest, AMissingFolderIsNoFailure) {
  EXPECT_NO_THROW(DeleteTree(root.Path() + "missing"));
  EXPECT_NO_THROW(DeleteTree(""));
}

}  // namespace
}  // namespace varnel::test
