// What installed programs were unpacked from: the state file read back as written, a marker
// left in a folder by an install cut short counting over it and folded in at the next start,
// and which installed programs the catalogue offers another archive for.
#include "catalog/InstalledDigests.h"

#include <gtest/gtest.h>

#include "catalog/RepositoryLines.h"
#include "platform/MemoryFileSystem.h"

namespace varnel {
namespace {

const std::string kOld(64, 'a');
const std::string kNew(64, 'b');

class InstalledDigestsTest : public ::testing::Test {
 protected:
  InstalledDigestsTest() { disk.CreateFolder("/data"); }

  void Install(const std::string& name) { disk.CreateFolder("/data/" + name); }

  TMemoryFileSystem disk;
  const std::string data = "/data/";
};

TEST_F(InstalledDigestsTest, TheStateFileReadsBackAsWrittenAndSkipsWhatItCantRead) {
  const TInstalledDigests written = {
      {"Dice", kOld}, {"Text Stats", kNew}, {"\xC3\xA9t\xC3\xA9", kOld}};
  WriteInstalledDigests(disk, data, written);
  EXPECT_EQ(ReadInstalledDigests(disk, data), written);
  EXPECT_FALSE(disk.Status("/data/.varnel-installed-new", false).Exists());

  disk.WriteFile("/data/.varnel-installed", kOld + " Dice\n" + "short Name\n" + kNew + "\n" +
                                                std::string(64, 'G') + " Upper\n" + kNew + " Last");
  EXPECT_EQ(ReadInstalledDigests(disk, data), (TInstalledDigests{{"Dice", kOld}, {"Last", kNew}}));
  EXPECT_TRUE(ReadInstalledDigests(disk, "/nowhere/").empty());
}

// An install swaps in its folder with a marker naming the new digest; until the state file
// has it, the marker counts, so no moment shows the old digest for the new folder. The next
// start takes the marker into the state file and removes it.
TEST_F(InstalledDigestsTest, AMarkerLeftBetweenTheSwapAndTheStateWriteCountsAndIsFoldedIn) {
  Install("Dice");
  Install("Calc");
  WriteInstalledDigests(disk, data, {{"Dice", kOld}, {"Calc", kOld}});
  disk.WriteFile("/data/Dice/.varnel-installing", kNew);
  const TInstalledDigests digests = ReadInstalledDigests(disk, data);
  EXPECT_EQ(InstalledDigest(disk, data, digests, "Dice"), kNew);
  EXPECT_EQ(InstalledDigest(disk, data, digests, "Calc"), kOld);
  EXPECT_EQ(InstalledDigest(disk, data, digests, "Other"), std::nullopt);

  RecoverInstalledDigests(disk, data);
  EXPECT_EQ(ReadInstalledDigests(disk, data), (TInstalledDigests{{"Dice", kNew}, {"Calc", kOld}}));
  EXPECT_FALSE(disk.Status("/data/Dice/.varnel-installing", false).Exists());
}

TEST_F(InstalledDigestsTest, OnlyAProgramInstalledFromAnotherArchiveThanOfferedIsOutdated) {
  const struct {
    const char* name;
    bool installed;
    std::optional<std::string> recorded;
    std::string integrityLine;
    bool outdated;
  } cases[] = {
      {"offered another archive", true, kOld, "sha256:" + kNew, true},
      {"offered the same archive", true, kNew, "sha256:" + kNew, false},
      {"digits in upper case", true, kNew, "sha256:" + std::string(64, 'B'), false},
      {"installed before digests were kept", true, std::nullopt, "sha256:" + kNew, false},
      {"record without an integrity line", true, kOld, "", false},
      {"record with a malformed integrity line", true, kOld, "sha256:abc", false},
      {"not installed", false, kOld, "sha256:" + kNew, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    disk.Clear();
    disk.CreateFolder("/data");
    if (c.installed) Install("Dice");
    TInstalledDigests digests;
    if (c.recorded) digests["Dice"] = *c.recorded;
    WriteInstalledDigests(disk, data, digests);
    TRepositoryLines catalogue;
    catalogue.SetText("dice.ico\nDice\nhttp://h/dice.zip\ndice.py\nRolls\nhttp://h/\n" +
                      c.integrityLine + "\n\n\n\n");
    EXPECT_EQ(IsOutdated(disk, data, digests, catalogue, "Dice"), c.outdated);
    EXPECT_EQ(OutdatedPrograms(disk, data, digests, catalogue),
              c.outdated ? std::vector<std::string>{"Dice"} : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace varnel
