// ExtractArchive as the commands call it: the status texts, the destination, failures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "actions/ExtractArchive.h"
#include "platform/Files.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

class NoPrompt : public IPrompt {
 public:
  std::vector<std::string> asked;
  TModalResult MessageDlg(const std::string& text, TMsgDlgType, unsigned) override {
    asked.push_back(text);
    return mrIgnore;
  }
  bool PasswordQuery(const std::string& caption, const std::string&, std::string&) override {
    asked.push_back(caption);
    return false;
  }
};

// python3 zipfile writes path -> (bytes, compress) with a fixed time.
void MakeZip(const std::string& path, const std::string& entries) {
  std::string command = "python3 -c 'import zipfile\nz=zipfile.ZipFile(\"" + path +
                        "\",\"w\")\nfor n,d,c in [" + entries +
                        "]:\n  i=zipfile.ZipInfo(n,(2024,2,29,23,59,58))\n"
                        "  i.compress_type=zipfile.ZIP_DEFLATED if c else zipfile.ZIP_STORED\n"
                        "  z.writestr(i,d)\nz.close()'";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST(ExtractProgress, PercentRoundsHalfToEven) {
  const std::pair<double, long long> cases[] = {{12.5, 12},    {13.5, 14},    {50.5, 50},
                                                {51.5, 52},    {0.0, 0},      {100.0, 100},
                                                {32.7675, 33}, {99.4999, 99}, {0.5, 0}};
  for (auto [progress, rounded] : cases) EXPECT_EQ(RoundHalfToEven(progress), rounded) << progress;
  EXPECT_EQ(ShowExtractProgress("sub/a.txt", 50.5), " Extracting sub/a.txt (50%)");
}

TEST(ExtractArchive, UnpacksEveryEntryAndWritesEachFileProgress) {
  TempDir dir;
  MakeZip(dir / "t.zip",
          "(\"sub/a.txt\",b\"A\"*200000,False),(\"b.txt\",b\"\",False),(\"c/\",b\"\",False)");
  NoPrompt prompt;
  std::vector<std::string> status;
  ExtractArchive(SystemFileSystem(), dir / "t.zip", dir / "dest", prompt,
                 [&](const std::string& text) { status.push_back(text); });
  EXPECT_EQ(ReadFile(dir / "dest/sub/a.txt"), std::string(200000, 'A'));
  EXPECT_EQ(ReadFile(dir / "dest/b.txt"), "");
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), dir / "dest/c"));
  EXPECT_EQ(status, (std::vector<std::string>{
                        " Extracting sub/a.txt (0%)", " Extracting sub/a.txt (33%)",
                        " Extracting sub/a.txt (66%)", " Extracting sub/a.txt (98%)",
                        " Extracting sub/a.txt (100%)", " Extracting sub/a.txt (100%)",
                        " Extracting b.txt (0%)", " Extracting b.txt (100%)", " Extracting c/ (0%)",
                        " Extracting c/ (100%)"}));
  EXPECT_TRUE(prompt.asked.empty());
}

TEST(ExtractArchive, ArchiveThatIsNoZipRaisesAndWritesNothing) {
  TempDir dir;
  WriteFile(dir / "t.zip", "<html>Service Unavailable</html>");
  NoPrompt prompt;
  try {
    ExtractArchive(SystemFileSystem(), dir / "t.zip", dir / "dest", prompt,
                   [](const std::string&) {});
    FAIL();
  } catch (const EZipException& e) {
    EXPECT_EQ(e.Message(), "Invalid archive file. - Native error: 00035");
  }
  EXPECT_FALSE(DirectoryExists(SystemFileSystem(), dir / "dest"));
}

TEST(ExtractArchive, CorruptedEntriesAreKeptOnlyWhenAsked) {
  TempDir dir;
  MakeZip(dir / "t.zip", "(\"x.txt\",b\"payload\"*100,True)");
  std::string bytes = ReadFile(dir / "t.zip");
  size_t central = bytes.find("PK\x01\x02");
  bytes[central + 16] = static_cast<char>(bytes[central + 16] ^ 1);  // CRC-32 in the directory
  WriteFile(dir / "t.zip", bytes);
  for (bool keep : {false, true}) {
    NoPrompt prompt;
    TExtractExtras extras;
    extras.extractCorruptedFiles = keep;
    ExtractArchive(
        SystemFileSystem(), dir / "t.zip", dir / "dest", prompt, [](const std::string&) {}, extras);
    EXPECT_EQ(FileExists(SystemFileSystem(), dir / "dest/x.txt"), keep);
    EXPECT_EQ(prompt.asked.size(), keep ? 0u : 1u);
  }
}

}  // namespace
}  // namespace varnel::test
