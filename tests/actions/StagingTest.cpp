// Replacing a program folder and the catalogue's files where the file system can't exchange
// two folders in one step, and the rollback after each step that can fail, in memory.
#include "actions/Staging.h"

#include <gtest/gtest.h>

#include "platform/FaultyFileSystem.h"
#include "platform/MemoryFileSystem.h"

namespace varnel::test {
namespace {

class StagingTest : public ::testing::Test {
 protected:
  StagingTest() { memory.CreateFolder("/data"); }

  // A staging folder working through the faulty file system, its tree filled past it.
  std::unique_ptr<TStagingFolder> Staged(
      const std::vector<std::pair<std::string, std::string>>& files) {
    auto staging = std::make_unique<TStagingFolder>(faulty, "/data/");
    for (const auto& [name, bytes] : files) Put(staging->Tree() + name, bytes);
    return staging;
  }

  // Writes a file, making its folders.
  void Put(const std::string& path, const std::string& bytes) {
    for (size_t slash = 1; (slash = path.find('/', slash)) != std::string::npos; ++slash) {
      if (!memory.Status(path.substr(0, slash), false).Exists()) {
        memory.CreateFolder(path.substr(0, slash));
      }
    }
    memory.WriteFile(path, bytes);
  }

  // Everything in the tree but the staging folder.
  std::vector<std::string> DataListing() {
    std::vector<std::string> listing;
    for (const std::string& path : memory.Listing()) {
      if (!path.starts_with("/data/.varnel-staging")) listing.push_back(path);
    }
    return listing;
  }

  TMemoryFileSystem memory;
  TFaultyFileSystem faulty{memory};
};

// The update of a program: the old version's notes and settings move into the new tree, the
// exchange is refused as on exFAT (87, 50) or fails outright (a second disk, 17), and each
// rename may fail. A failure leaves the old version exactly as it was.
struct ReplaceRow {
  const char* name;
  int exchangeError;  // 0: the exchange works
  int failingRename;  // 0: none; 1, 2: moving the old files; 3: the move aside; 4: into place
};

class ReplaceFolderTest : public StagingTest, public ::testing::WithParamInterface<ReplaceRow> {};

TEST_P(ReplaceFolderTest, ReplacesTheFolderOrLeavesTheOldVersionWhole) {
  const ReplaceRow& row = GetParam();
  Put("/data/Dice/a.txt", "old a");
  Put("/data/Dice/docs/notes.txt", "the user's notes");
  Put("/data/Dice/settings.ini", "the user's settings");
  std::unique_ptr<TStagingFolder> staging =
      Staged({{"a.txt", "new a"}, {"docs/new.txt", "new doc"}});
  const std::vector<std::string> before = DataListing();
  if (row.exchangeError) faulty.FailAlways(TFileOperation::Exchange, row.exchangeError);
  if (row.failingRename) faulty.FailNth(TFileOperation::Rename, row.failingRename, 5);
  if (row.failingRename > 0 || row.exchangeError == 17) {
    EXPECT_THROW(staging->ReplaceFolder("/data/Dice"), EInOutError);
    EXPECT_EQ(DataListing(), before);
    EXPECT_EQ(memory.ReadFile("/data/Dice/a.txt"), "old a");
  } else {
    staging->ReplaceFolder("/data/Dice");
    EXPECT_EQ(memory.ReadFile("/data/Dice/a.txt"), "new a");
    EXPECT_EQ(memory.ReadFile("/data/Dice/docs/new.txt"), "new doc");
    EXPECT_EQ(memory.ReadFile("/data/Dice/docs/notes.txt"), "the user's notes");
    EXPECT_EQ(memory.ReadFile("/data/Dice/settings.ini"), "the user's settings");
  }
  staging.reset();
  EXPECT_TRUE(memory.Enumerate("/data/.varnel-staging").empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ReplaceFolderTest,
                         ::testing::Values(ReplaceRow{"exchange", 0, 0},
                                           ReplaceRow{"no_exchange", 87, 0},
                                           ReplaceRow{"exchange_not_supported", 50, 0},
                                           ReplaceRow{"exchange_across_disks", 17, 0},
                                           ReplaceRow{"moving_the_first_old_file", 0, 1},
                                           ReplaceRow{"moving_the_second_old_file", 0, 2},
                                           ReplaceRow{"no_exchange_moving_an_old_file", 87, 2},
                                           ReplaceRow{"no_exchange_moving_aside", 87, 3},
                                           ReplaceRow{"no_exchange_moving_into_place", 87, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StagingTest, OldFilesThatCannotBePutBackAreKeptAndNamed) {
  Put("/data/Dice/a.txt", "old a");
  Put("/data/Dice/settings.ini", "the user's settings");
  std::unique_ptr<TStagingFolder> staging = Staged({{"a.txt", "new a"}});
  faulty.FailAlways(TFileOperation::Exchange, 87);
  faulty.FailNth(TFileOperation::Rename, 3, 5);  // the tree into place
  faulty.FailNth(TFileOperation::Rename, 5, 5);  // settings.ini back
  try {
    staging->ReplaceFolder("/data/Dice");
    ADD_FAILURE() << "no exception";
  } catch (const ERollbackError& e) {
    EXPECT_NE(e.Message().find("/data/.varnel-staging/kept-"), std::string::npos) << e.Message();
  }
  staging.reset();
  EXPECT_EQ(memory.ReadFile("/data/Dice/a.txt"), "old a");
  const std::vector<std::string> kept = memory.Enumerate("/data/.varnel-staging");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(memory.ReadFile("/data/.varnel-staging/" + kept[0] + "/tree/settings.ini"),
            "the user's settings");
}

// The catalogue update: every file of the tree goes over its namesake, the catalogue last;
// whichever rename fails, DataDir ends as it was.
TEST_F(StagingTest, ACatalogueUpdateFailingAtAnyRenameLeavesTheOldCatalogue) {
  Put("/data/software.dat", "old catalogue");
  Put("/data/dice.ico", "old icon");
  Put("/data/Dice/a.txt", "a program");
  const std::vector<std::string> before = DataListing();
  for (int failing = 1;; ++failing) {
    std::unique_ptr<TStagingFolder> staging = Staged({{"software.dat", "new catalogue"},
                                                      {"dice.ico", "new icon"},
                                                      {"icons/new.ico", "another icon"},
                                                      {".varnel-lock", "not the lock"}});
    faulty.FailNth(TFileOperation::Rename, failing, 5);
    try {
      staging->MoveFilesInto("/data/", "software.dat");
    } catch (const EInOutError&) {
      EXPECT_EQ(DataListing(), before) << "rename " << failing;
      continue;
    }
    EXPECT_EQ(memory.ReadFile("/data/software.dat"), "new catalogue");
    EXPECT_EQ(memory.ReadFile("/data/dice.ico"), "new icon");
    EXPECT_EQ(memory.ReadFile("/data/icons/new.ico"), "another icon");
    EXPECT_EQ(memory.ReadFile("/data/Dice/a.txt"), "a program");
    EXPECT_FALSE(memory.Status("/data/.varnel-lock", false).Exists());
    EXPECT_EQ(faulty.Calls().back().substr(faulty.Calls().back().rfind(' ')),
              " /data/software.dat");
    EXPECT_EQ(failing, 6);  // 2 files aside, 3 into place, the catalogue last: 5 renames
    break;
  }
}

}  // namespace
}  // namespace varnel::test
