// Decoding on the decode thread shows the caller exactly what decoding inline does: the same
// events, questions and file-system calls in the same order, the same Cancel points, failures
// and files.
#include <gtest/gtest.h>

#include <random>

#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {
namespace {

// Words drawn at random: inflates at about a quarter of a piece per call, so an entry takes
// several pieces and several inflate calls per piece.
std::string Words(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += "w" + std::to_string(random() % 5000) + " ";
  text.resize(size);
  return text;
}

std::string Encrypted(const std::string& password, const std::string& data) {
  std::string header = "0123456789a" + std::string(1, static_cast<char>(Crc32(data) >> 24));
  return PkEncrypt(password, header + RawDeflate(data));
}

const std::string kText = Words(3 << 20, 1);
const std::string kStored = Words(1300000, 2);

// Noise, then words: inflate copies the stored blocks of the first part, whose CRC-32 the
// decode thread sums, and decodes the rest, whose CRC-32 the writing side sums.
std::string NoiseThenWords() {
  std::mt19937 random(3);
  std::string data(1500000, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data + Words(1 << 20, 4);
}
const std::string kCopied = NoiseThenWords();

std::vector<TestEntry> LargeEntries() {
  return {{.name = "small.txt", .data = "s", .method = 8},
          {.name = "text.txt", .data = kText, .method = 8},
          {.name = "dir/stored.bin",
           .data = kStored,
           .versionMadeBy = 0x031E,
           .externalAttr = 0100751u << 16},
          {.name = "last.txt", .data = "l"}};
}

TEST(ZipModes, LargeAndDamagedEntriesShowTheSame) {
  std::vector<TestEntry> crcWrong = LargeEntries();
  crcWrong[1].crc = Crc32(kText) ^ 1;
  std::vector<TestEntry> cutInSecondPiece = LargeEntries();
  cutInSecondPiece[1].packed = RawDeflate(kText).substr(0, 1100000);
  std::vector<TestEntry> sizeTooSmall = LargeEntries();
  sizeTooSmall[1].sizeStored = 2 << 20;
  sizeTooSmall[2].sizeStored = 1 << 20;
  std::vector<TestEntry> encrypted = {
      {.name = "e.txt", .data = kText, .method = 8, .flags = 1, .packed = Encrypted("pw", kText)},
      {.name = "after.txt", .data = "a"}};
  std::vector<TestEntry> copied = {{.name = "copied.bin", .data = kCopied, .method = 8},
                                   {.name = "after.txt", .data = "a"}};
  std::vector<TestEntry> copiedCrcWrong = copied;
  copiedCrcWrong[0].crc = Crc32(kCopied) ^ 1;
  std::string whole = BuildZip(LargeEntries());
  struct Case {
    const char* name;
    std::string archive;
    ObservedSetup setup;
  } cases[] = {
      {"whole", whole, {}},
      {"crc-wrong-after-many-pieces", BuildZip(crcWrong), {}},
      {"crc-wrong-aborted", BuildZip(crcWrong), {.answers = {mrAbort}}},
      {"crc-wrong-retried", BuildZip(crcWrong), {.answers = {mrRetry, mrIgnore}}},
      {"crc-wrong-kept",
       BuildZip(crcWrong),
       {.options = [](TZipArchiver& zip) { zip.ExtractCorruptedFiles = true; }}},
      {"deflate-cut-in-the-second-piece", BuildZip(cutInSecondPiece), {}},
      {"declared-sizes-too-small", BuildZip(sizeTooSmall), {}},
      {"truncated-in-the-stored-entry", whole.substr(0, whole.size() / 2), {}},
      {"password-wrong-then-right", BuildZip(encrypted), {.passwords = {"wrong", "pw"}}},
      {"password-cancelled", BuildZip(encrypted), {}},
      {"copied-and-decoded-blocks", BuildZip(copied), {}},
      {"copied-and-decoded-blocks-crc-wrong", BuildZip(copiedCrcWrong), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ObservedExtraction(c.archive, false, c.setup),
              ObservedExtraction(c.archive, true, c.setup));
  }
}

TEST(ZipModes, CancelAtEachReportStopsAtTheSamePoint) {
  const std::string archive = BuildZip(LargeEntries());
  size_t reports = 0;
  for (const std::string& line : ObservedExtraction(archive, false)) {
    reports += line.starts_with("file ");
  }
  ASSERT_GE(reports, 30u);
  for (int n = 1; n <= static_cast<int>(reports); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ObservedExtraction(archive, false, {.cancelAt = n}),
              ObservedExtraction(archive, true, {.cancelAt = n}));
  }
}

// A full disk at each write, and an archive read that fails at each read: the reads ahead on
// the decode thread fail only where the inline decoding would have read.
TEST(ZipModes, AFailedWriteOrReadAtEachCallEndsTheSameEntry) {
  const std::string archive = BuildZip(LargeEntries());
  constexpr int kWrites = 30, kReads = 12;
  for (int n = 1; n <= kWrites; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ObservedExtraction(archive, false, {.failWrite = n}),
              ObservedExtraction(archive, true, {.failWrite = n}));
    if (n > kReads) continue;
    EXPECT_EQ(ObservedExtraction(archive, false, {.failRead = n}),
              ObservedExtraction(archive, true, {.failRead = n}));
  }
  // Past the last read nothing fails: every read of the archive was tried above.
  EXPECT_EQ(ObservedExtraction(archive, false, {.failRead = kReads + 1}),
            ObservedExtraction(archive, false));
}

}  // namespace
}  // namespace varnel::test
