// Random damage to a valid archive never crashes the reader or writes outside the destination.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {
namespace {

TEST(ZipRandom, DamagedBytesEndInExceptionsOrFailuresOnly) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "row " + std::to_string(i) + "\n";
  const std::string valid = BuildZip({{.name = "a/one.txt", .data = text, .method = 8},
                                      {.name = "two.bin", .data = std::string(3000, '\x7f')},
                                      {.name = "dir/", .data = "", .externalAttr = 0x10},
                                      {.name = "three", .data = "3", .method = 8}},
                                     {.comment = "note"});
  std::mt19937 random(20261208);
  TempDir dir;
  int opened = 0;
  for (int round = 0; round < 400; ++round) {
    std::string bytes = valid;
    int damages = 1 + static_cast<int>(random() % 8);
    for (int d = 0; d < damages; ++d) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    if (round % 10 == 0) bytes.resize(random() % bytes.size());
    std::string dest = dir / ("r" + std::to_string(round) + "/");
    WriteFile(dir / "in.zip", bytes);
    ScriptedPrompt prompt;
    TZipArchiver zip(SystemFileSystem(), prompt);
    zip.FileName = dir / "in.zip";
    zip.BaseDir = dest;
    zip.OnProcessFileFailure = [](TBaseArchiver*, const std::string&, TZipProcessOperation, int,
                                  int, const std::string&,
                                  TZipAction& action) { action = fxaIgnore; };
    try {
      zip.OpenArchive(0);
      ++opened;
      zip.ExtractFiles("*.*", 10431, "");
    } catch (const Exception&) {
    }
    std::filesystem::remove_all(dest);
  }
  // Most damage leaves an archive that opens, so extraction is exercised too.
  EXPECT_GT(opened, 200);
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename(), "in.zip");
    ++left;
  }
  EXPECT_EQ(left, 1);
}

}  // namespace
}  // namespace varnel::test
