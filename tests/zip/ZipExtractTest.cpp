// Extraction of byte-built archives: progress values, failure decisions, damaged entries,
// unsafe names, links, modes, times and the overwrite rules.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <ctime>
#include <functional>

#include "platform/Files.h"
#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {
namespace {

struct Extraction {
  TempDir dir;
  ScriptedPrompt prompt;
  TZipArchiver zip{SystemFileSystem(), prompt};
  std::vector<std::string> progress;  // "name phase percent"
  std::string dest = dir / "out/";

  explicit Extraction(const std::string& bytes) {
    WriteFile(dir / "a.zip", bytes);
    zip.FileName = dir / "a.zip";
    zip.BaseDir = dest;
    zip.OnFileProgress = [this](TBaseArchiver*, const std::string& name, double percent,
                                TZipProcessOperation, TZipProgressPhase phase, bool&) {
      char text[64];
      std::snprintf(text, sizeof text, " %d %.4f", static_cast<int>(phase), percent);
      progress.push_back(name + text);
    };
  }
  void Extract() {
    zip.OpenArchive(0);
    zip.ExtractFiles("*.*", 10431, "");
    zip.CloseArchive();
  }
  bool Has(const std::string& name) const { return FileExists(SystemFileSystem(), dest + name); }
  std::string Read(const std::string& name) const { return ReadFile(dest + name); }
  mode_t Mode(const std::string& name) const {
    struct stat st {};
    lstat((dest + name).c_str(), &st);
    return st.st_mode;
  }
};

const std::string kFailureSuffix = ". File processing error, possibly disk is full";
const std::string kBadData =
    "Invalid size or check sum of file or unsupported compression format - Native error: 00008";

std::vector<TestEntry> ThreeWithBadSecond() {
  return {{.name = "one.txt", .data = "first"},
          {.name = "two.txt",
           .data = std::string(3000, '2'),
           .method = 8,
           .crc = Crc32(std::string(3000, '2')) ^ 1},
          {.name = "three.txt", .data = "third"}};
}

TEST(ZipExtract, StoredEntriesReportProgressPerSlice) {
  Extraction run(
      BuildZip({{.name = "empty", .data = ""}, {.name = "big", .data = std::string(200000, 'x')}}));
  run.Extract();
  EXPECT_EQ(run.progress,
            (std::vector<std::string>{"empty 0 0.0000", "empty 2 100.0000", "big 0 0.0000",
                                      "big 1 32.7675", "big 1 65.5350", "big 1 98.3025",
                                      "big 1 100.0000", "big 2 100.0000"}));
  EXPECT_EQ(run.Read("empty"), "");
  EXPECT_EQ(run.Read("big"), std::string(200000, 'x'));
}

TEST(ZipExtract, WrongCrcInTheSecondOfThreeAsksAndFollowsTheAnswer) {
  struct Case {
    const char* name;
    std::deque<TModalResult> answers;
    bool corrupted;
    size_t questions;
    bool two, three;
  };
  const Case cases[] = {
      {"ignore", {mrIgnore}, false, 1, false, true},
      {"abort", {mrAbort}, false, 1, false, false},
      {"retry-then-ignore", {mrRetry, mrIgnore}, false, 2, false, true},
      {"extract-corrupted", {}, true, 0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Extraction run(BuildZip(ThreeWithBadSecond()));
    run.prompt.answers = c.answers;
    run.zip.ExtractCorruptedFiles = c.corrupted;
    run.Extract();
    EXPECT_EQ(run.Read("one.txt"), "first");
    EXPECT_EQ(run.Has("two.txt"), c.two);
    EXPECT_EQ(run.Has("three.txt"), c.three);
    ASSERT_EQ(run.prompt.texts.size(), c.questions);
    for (size_t i = 0; i < c.questions; ++i) {
      EXPECT_EQ(run.prompt.texts[i], kBadData + kFailureSuffix);
      EXPECT_EQ(run.prompt.buttons[i], unsigned{mbAbort | mbRetry | mbIgnore});
    }
  }
}

TEST(ZipExtract, DamagedEntriesFailWithTheirCode) {
  std::string text(4000, 't');
  std::string packed = RawDeflate(text);
  struct Case {
    const char* name;
    TestEntry entry;
    std::string message;  // empty: extracts
  };
  const Case cases[] = {
      {"three-bytes-after-deflate",
       {.name = "f", .data = text, .method = 8, .packed = packed + "123"},
       ""},
      {"four-bytes-after-deflate",
       {.name = "f", .data = text, .method = 8, .packed = packed + "1234"},
       kBadData},
      {"deflate-cut-short",
       {.name = "f", .data = text, .method = 8, .packed = packed.substr(0, 10)},
       kBadData},
      {"size-too-small", {.name = "f", .data = text, .sizeStored = 3999}, kBadData},
      {"method-9",
       {.name = "f", .data = text, .method = 9, .packed = packed},
       "Deflate64 compression method is not supported - Native error: 00055"},
      {"method-12", {.name = "f", .data = text, .method = 12, .packed = packed}, kBadData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Extraction run(BuildZip({c.entry}));
    run.prompt.answers = {mrIgnore};
    run.Extract();
    EXPECT_EQ(ObservedExtraction(BuildZip({c.entry}), false),
              ObservedExtraction(BuildZip({c.entry}), true));
    if (c.message.empty()) {
      EXPECT_TRUE(run.prompt.texts.empty());
      EXPECT_EQ(run.Read("f"), text);
    } else {
      ASSERT_EQ(run.prompt.texts.size(), 1u);
      EXPECT_EQ(run.prompt.texts[0], c.message + kFailureSuffix);
      EXPECT_FALSE(run.Has("f"));
    }
  }
}

TEST(ZipExtract, NamesOutsideTheDestinationAreRefusedAndTheOthersExtract) {
  // A stored "\\" is a folder separator, so the rules see (and the reports show) "/".
  struct Case {
    const char* stored;
    const char* reported;
  } unsafe[] = {
      {"../evil", "../evil"},   {"/tmp/evil-abs", "/tmp/evil-abs"},
      {"C:evil", "C:evil"},     {"a/../../evil", "a/../../evil"},
      {"..\\evil", "../evil"},  {"sub\\..", "sub/.."},
      {"a\\\\evil", "a//evil"}, {"\\tmp\\evil-abs", "/tmp/evil-abs"},
  };
  std::vector<TestEntry> entries;
  for (const Case& c : unsafe) entries.push_back({.name = c.stored, .data = "bad"});
  entries.push_back({.name = "good.txt", .data = "good"});
  entries.push_back({.name = "bin\\tool.txt", .data = "tool"});
  Extraction run(BuildZip(entries));
  run.prompt.answers.assign(std::size(unsafe), mrIgnore);
  run.Extract();
  EXPECT_EQ(run.Read("good.txt"), "good");
  EXPECT_EQ(run.Read("bin/tool.txt"), "tool");
  ASSERT_EQ(run.prompt.texts.size(), std::size(unsafe));
  for (size_t i = 0; i < std::size(unsafe); ++i) {
    EXPECT_EQ(run.prompt.texts[i], "Cannot create file \"" + std::string(unsafe[i].reported) +
                                       "\" - Native error: 00019" + kFailureSuffix);
  }
  EXPECT_FALSE(FileExists(SystemFileSystem(), run.dir / "evil"));
  EXPECT_FALSE(FileExists(SystemFileSystem(), "/tmp/evil-abs"));
}

TEST(ZipExtract, FolderPathBeyondThePathLimitFailsWithoutDeepRecursion) {
  // 32,000 nested folders in one 64 KB name once took gigabytes while the folders were
  // forced into existence one recursion level each.
  std::string deep;
  for (int i = 0; i < 32000; ++i) deep += "a/";
  Extraction run(BuildZip({{.name = deep + "x", .data = "x"}, {.name = "ok.txt", .data = "ok"}}));
  run.prompt.answers = {mrIgnore};
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  run.Extract();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // kilobytes
  EXPECT_EQ(run.Read("ok.txt"), "ok");
  ASSERT_EQ(run.prompt.texts.size(), 1u);
  EXPECT_EQ(run.prompt.texts[0], "Cannot create directory \"" + run.dest + deep +
                                     "\" - Native error: 00020" + kFailureSuffix);
}

TestEntry UnixEntry(std::string name, std::string data, uint32_t mode) {
  return TestEntry{.name = std::move(name),
                   .data = std::move(data),
                   .versionMadeBy = 0x031E,
                   .externalAttr = mode << 16};
}

TEST(ZipExtract, UnixModesApplyWithoutSpecialBitsAndLinksStayFiles) {
  Extraction run(BuildZip({UnixEntry("tool", "#!/bin/sh\n", 0104755),
                           UnixEntry("setid", "s", 0106775),
                           UnixEntry("link", "/etc/passwd", 0120777),
                           {.name = "ro.txt", .data = "r", .externalAttr = 0x21}}));
  run.Extract();
  EXPECT_EQ(run.Mode("tool"), mode_t{0100755});
  EXPECT_EQ(run.Mode("setid"), mode_t{0100775});
  EXPECT_TRUE(S_ISREG(run.Mode("link")));
  EXPECT_EQ(run.Read("link"), "/etc/passwd");
  EXPECT_EQ(run.Mode("ro.txt") & 0222, 0u);
}

// A file made outright has the mode new files get in its folder (0666 less the umask): the
// mode is set only where the entry's differs, and comes out right whatever the umask.
TEST(ZipExtract, ModesComeOutRightWhateverTheUmaskAndEqualOnesAreNotSetAgain) {
  const std::vector<TestEntry> entries = {UnixEntry("a/same", "1", 0100644),
                                          UnixEntry("a/exec", "2", 0100755),
                                          UnixEntry("b/private", "3", 0100600),
                                          UnixEntry("b/same", "4", 0100644),
                                          {.name = "b/dos.txt", .data = "5"},
                                          {.name = "b/ro.txt", .data = "6", .externalAttr = 0x21}};
  for (mode_t umask : {022, 077, 0}) {
    SCOPED_TRACE(umask);
    mode_t before = ::umask(umask);
    Extraction run(BuildZip(entries));
    run.Extract();
    ::umask(before);
    std::vector<mode_t> modes;
    for (const TestEntry& entry : entries) modes.push_back(run.Mode(entry.name) & 0777);
    mode_t dos = (0666 & ~umask) | 0200;
    EXPECT_EQ(modes, (std::vector<mode_t>{0644, 0755, 0600, 0644, dos, dos & ~mode_t{0222}}));
  }
  // In memory new files get 0644.
  std::vector<std::string> chmods;
  for (const std::string& line : ObservedExtraction(BuildZip(entries), false)) {
    if (line.starts_with("chmod ")) chmods.push_back(line);
  }
  EXPECT_EQ(chmods, (std::vector<std::string>{"chmod /out/a/exec", "chmod /out/b/private",
                                              "chmod /out/b/ro.txt"}));
}

TEST(ZipExtract, LastWriteTimeIsTheDosTimeAsLocalTime) {
  Extraction run(BuildZip({{.name = "t", .data = "x", .time = 0x6A4B, .date = 0x5A8C}}));
  run.Extract();
  struct tm expected {};
  expected.tm_year = 125;
  expected.tm_mon = 3;
  expected.tm_mday = 12;
  expected.tm_hour = 13;
  expected.tm_min = 18;
  expected.tm_sec = 22;
  expected.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(stat((run.dest + "t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, mktime(&expected));
}

TEST(ZipExtract, FoldersAreCreatedForNestedNamesAndFolderEntries) {
  Extraction run(BuildZip({{.name = "a/b/c.txt", .data = "c"},
                           {.name = "empty/", .data = "", .externalAttr = 0},
                           {.name = "flagged", .data = "", .externalAttr = 0x10}}));
  run.Extract();
  EXPECT_EQ(run.Read("a/b/c.txt"), "c");
  EXPECT_TRUE(DirectoryExists(SystemFileSystem(), run.dest + "empty"));
  EXPECT_FALSE(FileExists(SystemFileSystem(), run.dest + "flagged"));
  EXPECT_EQ(run.progress[3], "empty/ 0 0.0000");
  EXPECT_EQ(run.progress[4], "empty/ 2 100.0000");
}

TEST(ZipExtract, NamesDifferingInCaseOpenAndExtractSideBySide) {
  Extraction run(
      BuildZip({{.name = "Read.me", .data = "first"}, {.name = "READ.ME", .data = "second"}}));
  run.Extract();
  EXPECT_EQ(run.Read("Read.me"), "first");
  EXPECT_EQ(run.Read("READ.ME"), "second");
  EXPECT_TRUE(run.prompt.texts.empty());
}

TEST(ZipExtract, OverwriteRulesDecideAboutExistingFiles) {
  TestEntry entry{.name = "f.txt", .data = "new"};
  {
    Extraction run(BuildZip({entry}));
    ForceDirectories(SystemFileSystem(), run.dest);
    WriteFile(run.dest + "f.txt", "old");
    chmod((run.dest + "f.txt").c_str(), 0444);
    run.Extract();
    EXPECT_EQ(run.Read("f.txt"), "new");
  }
  {
    Extraction run(BuildZip({entry, {.name = "g.txt", .data = "new"}}));
    ForceDirectories(SystemFileSystem(), run.dest);
    WriteFile(run.dest + "f.txt", "old");
    WriteFile(run.dest + "g.txt", "old");
    run.zip.Options.OverwriteMode = omPrompt;
    run.prompt.answers = {mrNoToAll};
    run.Extract();
    EXPECT_EQ(run.prompt.texts,
              std::vector<std::string>{"Overwrite file \"" + run.dest + "f.txt\" with \"f.txt\""});
    EXPECT_EQ(run.prompt.buttons[0], unsigned{mbYes | mbNo | mbNoToAll | mbYesToAll});
    EXPECT_EQ(run.zip.Options.OverwriteMode, omNever);
    EXPECT_EQ(run.Read("g.txt"), "old");
  }
  {
    // The same time on both sides: omIfNewer keeps the file.
    Extraction first(BuildZip({entry}));
    first.Extract();
    WriteFile(first.dir / "b.zip", BuildZip({{.name = "f.txt", .data = "other"}}));
    first.zip.FileName = first.dir / "b.zip";
    first.zip.Options.OverwriteMode = omIfNewer;
    first.Extract();
    EXPECT_EQ(first.Read("f.txt"), "new");
  }
  {
    // A time past 2107 has no DOS date-time: it counts as -1, older than any entry. Its
    // year would otherwise wrap around into 2025, newer than the entry.
    Extraction run(BuildZip({entry}));
    ForceDirectories(SystemFileSystem(), run.dest);
    WriteFile(run.dest + "f.txt", "old");
    struct tm future {};
    future.tm_year = 2153 - 1900;
    future.tm_mon = 11;
    future.tm_mday = 31;
    future.tm_isdst = -1;
    struct timespec times[2] = {{0, UTIME_OMIT}, {mktime(&future), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (run.dest + "f.txt").c_str(), times, 0), 0);
    run.zip.Options.OverwriteMode = omIfNewer;
    run.Extract();
    EXPECT_EQ(run.Read("f.txt"), "new");
  }
}

TEST(ZipExtract, CancelDuringDecodingDeletesTheFileAndEndsTheRun) {
  Extraction run(
      BuildZip({{.name = "a", .data = std::string(200000, 'a')}, {.name = "b", .data = "b"}}));
  std::vector<int> overall;
  run.zip.OnFileProgress = [](TBaseArchiver*, const std::string&, double, TZipProcessOperation,
                              TZipProgressPhase phase, bool& cancel) {
    if (phase == ppProcess) cancel = true;
  };
  run.zip.OnOverallProgress = [&](TBaseArchiver*, double, TZipProcessOperation,
                                  TZipProgressPhase phase, bool&) { overall.push_back(phase); };
  run.Extract();
  EXPECT_FALSE(run.Has("a"));
  EXPECT_FALSE(run.Has("b"));
  EXPECT_EQ(overall, (std::vector<int>{ppStart, ppEnd}));
  EXPECT_TRUE(run.prompt.texts.empty());
}

TEST(ZipExtract, HandlerMayRunAnotherExtractionOnTheSameThread) {
  // The processing lock serialises threads; the thread holding it may take it again.
  Extraction outer(BuildZip({{.name = "outer.txt", .data = "o"}}));
  Extraction inner(BuildZip({{.name = "inner.txt", .data = "i"}}));
  outer.zip.OnFileProgress = [&](TBaseArchiver*, const std::string&, double, TZipProcessOperation,
                                 TZipProgressPhase phase, bool&) {
    if (phase == ppStart) inner.Extract();
  };
  outer.Extract();
  EXPECT_EQ(outer.Read("outer.txt"), "o");
  EXPECT_EQ(inner.Read("inner.txt"), "i");
}

TEST(ZipExtract, TruncatedArchiveExtractsItsWholeEntries) {
  std::string whole(20000, 'w');
  std::string zip =
      BuildZip({{.name = "whole", .data = whole}, {.name = "cut", .data = std::string(9000, 'c')}});
  Extraction run(zip.substr(0, 30 + 5 + whole.size() + 30 + 3 + 4000));
  run.prompt.answers = {mrIgnore};
  run.Extract();
  EXPECT_EQ(run.Read("whole"), whole);
  EXPECT_FALSE(run.Has("cut"));
  EXPECT_EQ(run.prompt.texts, std::vector<std::string>{kBadData + kFailureSuffix});
}

TEST(ZipExtract, LocalHeaderPastTheEndEndsTheRunWithAStreamError) {
  std::string zip = BuildZip({{.name = "x", .data = "x"}});
  size_t offsetField = zip.find("PK\x01\x02") + 42;
  zip.replace(offsetField, 4, Le32(0x00FFFFFF));
  Extraction run(zip);
  run.zip.OpenArchive(0);
  EXPECT_THROW(run.zip.ExtractFiles("*.*", 10431, ""), EReadError);
}

// Takes limit bytes, then writes nothing more, as a full disk does.
class FullDisk : public TMemoryStream {
 public:
  explicit FullDisk(int64_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t n = std::min(count, limit_ - Position());
    return TMemoryStream::Write(buffer, std::max<int64_t>(n, 0));
  }
  int64_t limit_;
};

TEST(ZipExtract, FullDiskRaisesCode65UnlessTheHandlerCancels) {
  Extraction run(BuildZip({{.name = "big", .data = std::string(200000, 'd'), .method = 8}}));
  run.zip.OpenArchive(0);
  FullDisk disk(100000);
  try {
    run.zip.ExtractItemToStream(0, disk);
    FAIL();
  } catch (const EZipException& e) {
    EXPECT_EQ(e.Message(),
              "Disk is full. There is not enough free space on disk. - Native error: 00065");
  }
  // With a handler the write starts over until the handler cancels.
  FullDisk second(100000);
  int calls = 0;
  run.zip.OnDiskFull = [&](TBaseArchiver*, int volume, const std::string& name, bool& cancel) {
    EXPECT_EQ(volume, 0);
    EXPECT_EQ(name, run.zip.FileName);
    cancel = ++calls == 2;
    second.limit_ += 10;  // the user freed a little space
  };
  run.zip.ExtractItemToStream(0, second);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(run.zip.Cancel);
  EXPECT_EQ(second.Size(), 100010);
}

TEST(ZipExtract, ExtractFilesOnAClosedArchiveRaises) {
  ScriptedPrompt prompt;
  TZipArchiver zip(SystemFileSystem(), prompt);
  try {
    zip.ExtractFiles("*.*", 10431, "");
    FAIL();
  } catch (const EZipException& e) {
    EXPECT_EQ(e.Message(), "Archive is not open - Native error: 00013");
  }
}

TEST(ZipExtract, TraditionalEncryptionTakesThePasswordSetOrAsked) {
  TempDir src;
  WriteFile(src / "s.txt", "secret text");
  ASSERT_TRUE(RunIn(src.Path(), "zip -q -P pw enc.zip s.txt"));
  Extraction preset(ReadFile(src / "enc.zip"));
  preset.zip.Password = "pw";
  preset.Extract();
  EXPECT_EQ(preset.Read("s.txt"), "secret text");
  EXPECT_TRUE(preset.prompt.passwordCaptions.empty());

  // A fixed encryption header, so that neither the empty nor the wrong password passes.
  std::string data = "hidden";
  std::string header = "0123456789a" + std::string(1, static_cast<char>(Crc32(data) >> 24));
  ASSERT_FALSE(PkDecryptsTo("", PkEncrypt("pw", header), header.back()));
  ASSERT_FALSE(PkDecryptsTo("wrong", PkEncrypt("pw", header), header.back()));
  TestEntry entry{
      .name = "h.txt", .data = data, .flags = 1, .packed = PkEncrypt("pw", header + data)};
  for (bool give : {true, false}) {
    Extraction run(BuildZip({entry}));
    if (give) run.prompt.passwords = {"wrong", "pw"};
    run.Extract();
    EXPECT_EQ(run.Has("h.txt"), give);
    if (give) {
      EXPECT_EQ(run.Read("h.txt"), data);
    }
    EXPECT_EQ(run.prompt.passwordCaptions.size(), give ? 2u : 1u);
    EXPECT_EQ(run.prompt.passwordCaptions.front(), "Password for \"h.txt\"");
    EXPECT_TRUE(run.prompt.texts.empty());
  }
}

}  // namespace
}  // namespace varnel::test
