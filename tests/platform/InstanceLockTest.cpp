#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/FaultyFileSystem.h"
#include "platform/MemoryFileSystem.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

constexpr const char* kRunning = "Varnel Tools is already running from this folder";

void ExpectRefused(IFileSystem& fileSystem, const std::string& folder) {
  try {
    TInstanceLock second(fileSystem, folder);
    ADD_FAILURE() << "a second instance got the lock";
  } catch (const EInstanceRunning& e) {
    EXPECT_EQ(e.Message(), kRunning);
  }
}

TEST(InstanceLockTest, ASecondInstanceOnTheFolderIsRefusedUntilTheFirstEnds) {
  TempDir folder;
  {
    TInstanceLock first(SystemFileSystem(), folder.Path());
    ExpectRefused(SystemFileSystem(), folder.Path());
  }
  TInstanceLock again(SystemFileSystem(), folder.Path());
  TempDir other;
  TInstanceLock elsewhere(SystemFileSystem(), other.Path());
}

// Where the file system keeps no advisory locks, the owner file decides: the lock is taken
// over only from a process of this machine that has ended.
struct OwnerRow {
  const char* name;
  std::optional<std::string> owner;  // what the owner file holds before the start
  bool refused;
};

class OwnerFileTest : public ::testing::TestWithParam<OwnerRow> {};

TEST_P(OwnerFileTest, DecidesWhetherTheLockIsTaken) {
  const OwnerRow& row = GetParam();
  TMemoryFileSystem memory;
  TFaultyFileSystem noLocks(memory);
  noLocks.FailAlways(TFileOperation::Lock, 50);
  memory.CreateFolder("/data");
  const std::string ownerFile = std::string("/data/") + kInstanceOwnerFile;
  if (row.owner) memory.WriteFile(ownerFile, *row.owner);
  if (row.refused) {
    ExpectRefused(noLocks, "/data/");
    EXPECT_EQ(memory.ReadFile(ownerFile), *row.owner);
    return;
  }
  {
    TInstanceLock lock(noLocks, "/data/");
    EXPECT_EQ(memory.ReadFile(ownerFile), ThisProcessTag());
    ExpectRefused(noLocks, "/data/");
  }
  EXPECT_FALSE(memory.Status(ownerFile, false).Exists());
}

const std::string kThisHost = ThisProcessTag().substr(0, ThisProcessTag().find(' '));
// This process's number with a start time it doesn't have: the number of an ended process,
// since reused.
const std::string kReusedNumber = ThisProcessTag().substr(0, ThisProcessTag().rfind(' ')) + " 1";

INSTANTIATE_TEST_SUITE_P(Rows, OwnerFileTest,
                         ::testing::Values(OwnerRow{"none", std::nullopt, false},
                                           // No process number goes past 2^22 on Linux.
                                           OwnerRow{"ended", kThisHost + " 4194305 12345", false},
                                           OwnerRow{"number_reused", kReusedNumber, false},
                                           OwnerRow{"cut_short", "", false},
                                           OwnerRow{"garbage", "\x01\x02 not a tag", false},
                                           OwnerRow{"running", ThisProcessTag(), true},
                                           OwnerRow{"another_machine", "elsewhere.example 1 0",
                                                    true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InstanceLockTest, AFolderWhereNoLockCanBeMadeHoldsNothing) {
  TMemoryFileSystem memory;
  TFaultyFileSystem noLocks(memory);
  noLocks.FailAlways(TFileOperation::Lock, 50);
  noLocks.FailAlways(TFileOperation::Open, 19);  // a read-only disk
  memory.CreateFolder("/data");
  TInstanceLock first(noLocks, "/data/");
  TInstanceLock second(noLocks, "/data/");
  EXPECT_EQ(memory.Listing(), (std::vector<std::string>{"/data/"}));
}

}  // namespace
}  // namespace varnel::test
