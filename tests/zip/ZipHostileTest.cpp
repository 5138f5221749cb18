// Hostile and unusual archives, extracted into an in-memory file system: output bounded by the
// declared size, Windows separators, folders marked by attributes, Unix modes, ZIP64 disk
// fields; then failures injected into the file system under the extraction.
#include <gtest/gtest.h>

#include "platform/FaultyFileSystem.h"
#include "platform/MemoryFileSystem.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {
namespace {

const std::string kFailureSuffix = ". File processing error, possibly disk is full";
const std::string kBadData =
    "Invalid size or check sum of file or unsupported compression format - Native error: 00008";

// The archive in /in.zip of memory, extracted into /out/ through fileSystem.
struct MemoryExtraction {
  explicit MemoryExtraction(const std::string& bytes, int64_t capacity = int64_t{1} << 30)
      : memory(capacity) {
    memory.WriteFile("/in.zip", bytes);
    memory.CreateFolder("/out");
  }
  void Extract(IFileSystem& fileSystem) {
    TZipArchiver zip(fileSystem, prompt);
    zip.FileName = "/in.zip";
    zip.BaseDir = "/out/";
    zip.OpenArchive(0);
    zip.ExtractFiles("*.*", 10431, "");
  }
  std::vector<std::string> Output() const {
    std::vector<std::string> out;
    for (const std::string& path : memory.Listing()) {
      if (path.size() > 5 && path.starts_with("/out/")) out.push_back(path.substr(5));
    }
    return out;
  }

  TMemoryFileSystem memory;
  ScriptedPrompt prompt;
};

// A ZIP64 archive whose classic end record holds 0xFFFF in both disk fields, as some writers
// store it; its locator counts one disk.
std::string Zip64WithDiskFieldsUnset(const std::vector<TestEntry>& entries) {
  std::string plain = BuildZip(entries);
  uint64_t dirStart = CentralDirectoryOffset(plain);
  uint64_t dirSize = plain.size() - 22 - dirStart;
  auto le64 = [](uint64_t v) { return Le32(static_cast<uint32_t>(v)) + Le32(v >> 32); };
  std::string record = "PK\x06\x06" + le64(44) + Le16(45) + Le16(45) + Le32(0) + Le32(0) +
                       le64(entries.size()) + le64(entries.size()) + le64(dirSize) + le64(dirStart);
  std::string locator = "PK\x06\x07" + Le32(0) + le64(dirStart + dirSize) + Le32(1);
  return BuildZip(entries,
                  {.thisDisk = 0xFFFF, .dirDisk = 0xFFFF, .beforeEndRecord = record + locator});
}

TEST(ZipHostile, UnusualArchivesExtractWithinTheirBounds) {
  const std::string zeros(8 << 20, '\0');
  const std::string packedZeros = RawDeflate(zeros);
  TestEntry unixReadOnly{.name = "mode-412",
                         .data = "m",
                         .versionMadeBy = 0x031E,
                         .externalAttr = (0100412u << 16) | 0x21};
  struct Case {
    const char* name;
    std::string archive;
    std::vector<std::string> output;  // Listing() below /out/
    std::vector<std::string> failures;
  } cases[] = {
      // 8 MiB of zeros declared as 100 bytes: the 1 MiB left on the disk would fill (code 65)
      // if the output ran on to the final size check.
      {"declared-size-bomb",
       BuildZip(
           {{.name = "bomb", .data = zeros, .method = 8, .packed = packedZeros, .sizeStored = 100},
            {.name = "after.txt", .data = "a"}}),
       {"after.txt"},
       {kBadData + kFailureSuffix}},
      {"stored-size-bomb",
       BuildZip({{.name = "bomb", .data = std::string(2 << 20, 's'), .sizeStored = 100}}),
       {},
       {kBadData + kFailureSuffix}},
      {"windows-separators",
       BuildZip({{.name = "bin\\tool.txt", .data = "t"}, {.name = "bin\\sub\\", .data = ""}}),
       {"bin/", "bin/sub/", "bin/tool.txt"},
       {}},
      {"windows-separators-on-unix",
       BuildZip({{.name = "doc\\a.txt",
                  .data = "a",
                  .versionMadeBy = 0x031E,
                  .externalAttr = 0100644u << 16}}),
       {"doc/", "doc/a.txt"},
       {}},
      {"folder-marked-by-attributes-only",
       BuildZip({{.name = "empty", .data = "", .externalAttr = 0x10},
                 {.name = "deep\\er", .data = "", .externalAttr = 0x10}}),
       {"deep/", "deep/er/", "empty/"},
       {}},
      {"zip64-disk-fields-unset",
       Zip64WithDiskFieldsUnset({{.name = "z.txt", .data = "z"}}),
       {"z.txt"},
       {}},
      {"unix-mode-over-the-read-only-bit", BuildZip({unixReadOnly}), {"mode-412"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryExtraction run(c.archive, static_cast<int64_t>(c.archive.size()) + (1 << 20));
    run.prompt.answers.assign(c.failures.size(), mrIgnore);
    run.Extract(run.memory);
    EXPECT_EQ(run.Output(), c.output);
    EXPECT_EQ(run.prompt.texts, c.failures);
    EXPECT_EQ(ObservedExtraction(c.archive, false), ObservedExtraction(c.archive, true));
  }
  MemoryExtraction run(BuildZip({unixReadOnly}));
  run.Extract(run.memory);
  EXPECT_EQ(run.memory.Status("/out/mode-412", false).Mode, 0412u);
}

TEST(ZipHostile, TheSameComponentRecoversATruncatedArchiveAfterAFailedOpen) {
  std::string zip = BuildZip({{.name = "whole", .data = std::string(2000, 'w')},
                              {.name = "more", .data = std::string(2000, 'm')}});
  TMemoryFileSystem memory;
  memory.WriteFile("/cut.zip", zip.substr(0, zip.size() - 30));
  TFaultyFileSystem faulty(memory);
  faulty.FailNth(TFileOperation::Open, 1, 5);
  ScriptedPrompt prompt;
  TZipArchiver archiver(faulty, prompt);
  archiver.FileName = "/cut.zip";
  EXPECT_THROW(archiver.OpenArchive(0), EFOpenError);
  archiver.OpenArchive(0);
  EXPECT_EQ(archiver.ItemCount(), 2);
}

TEST(ZipHostile, FileSystemFailuresEndOnlyTheEntryTheyHit) {
  std::string big(3 << 20, 'b');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>(i);
  std::string archive = BuildZip({{.name = "first.txt", .data = "1"},
                                  {.name = "big.bin", .data = big, .method = 8},
                                  {.name = "last.txt", .data = "3"}});
  const std::string diskFull =
      "Disk is full. There is not enough free space on disk. - Native error: 00065";
  struct Case {
    const char* name;
    TFileOperation operation;
    int n;
    int systemError;
    std::vector<std::string> output;
    std::string failure;
  } cases[] = {
      // The first write goes to first.txt; big.bin takes several pieces.
      {"disk full on the third write",
       TFileOperation::Write,
       3,
       112,
       {"first.txt", "last.txt"},
       diskFull},
      // The first open reads the archive.
      {"access denied creating the second output",
       TFileOperation::Open,
       3,
       5,
       {"first.txt", "last.txt"},
       "Cannot create file \"/out/big.bin\" - Native error: 00019"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryExtraction run(archive);
    TFaultyFileSystem faulty(run.memory);
    faulty.FailNth(c.operation, c.n, c.systemError);
    run.prompt.answers = {mrIgnore};
    run.Extract(faulty);
    EXPECT_EQ(run.Output(), c.output);
    EXPECT_EQ(run.prompt.texts, std::vector<std::string>{c.failure + kFailureSuffix});
  }
}

}  // namespace
}  // namespace varnel::test
