#include "catalog/RepositoryLines.h"

#include <gtest/gtest.h>

#include <vector>

#include "catalog/Installed.h"
#include "platform/Exception.h"
#include "platform/Files.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const TRepositoryLines& lines) {
  Lines result;
  for (int i = 0; i < lines.Count(); ++i) result.push_back(lines.Get(i));
  return result;
}

Lines LoadBytes(const std::string& bytes) {
  test::TempDir dir;
  test::WriteFile(dir / "software.dat", bytes);
  TRepositoryLines lines;
  lines.LoadFromFile(dir / "software.dat");
  return LinesOf(lines);
}

struct LineCase {
  const char* name;
  std::string bytes;
  Lines expected;
};

TEST(RepositoryLinesTest, LineEndsAndTextEnd) {
  const std::string nul(1, '\0');
  const std::vector<LineCase> cases = {
      {"crlf", "a\r\nb\r\nc", {"a", "b", "c"}},
      {"lf-only", "a\nb\nc", {"a", "b", "c"}},
      {"cr-only", "a\rb\rc", {"a", "b", "c"}},
      {"mixed", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"lf-cr-adds-empty-line", "a\n\rb", {"a", "", "b"}},
      {"final-break-adds-nothing", "a\r\nb\r\n", {"a", "b"}},
      {"two-final-breaks-add-one-empty-line", "a\nb\n\n", {"a", "b", ""}},
      {"empty-file", "", {}},
      {"only-a-break", "\r\n", {""}},
      {"blanks-kept", " a \n\tb", {" a ", "\tb"}},
      {"nul-inside-line", "a\nbc" + nul + "d\ne", {"a", "bc"}},
      {"nul-at-line-start", "a\nb\n" + nul + "c\nd", {"a", "b"}},
      {"nul-first", nul + "a", {}},
  };
  for (const LineCase& c : cases) EXPECT_EQ(LoadBytes(c.bytes), c.expected) << c.name;
}

TEST(RepositoryLinesTest, NulInsideLine15CutsTheCatalogueThere) {
  std::string text;
  for (int i = 0; i < 14; ++i) text += "line" + std::to_string(i) + "\r\n";
  Lines inside = LoadBytes(text + "abc" + std::string(1, '\0') + "def\r\nmore\r\n");
  ASSERT_EQ(inside.size(), 15u);
  EXPECT_EQ(inside[14], "abc");
  EXPECT_EQ(LoadBytes(text + std::string(1, '\0') + "def\r\nmore\r\n").size(), 14u);
}

TEST(RepositoryLinesTest, EncodingsChosenByByteOrderMark) {
  const std::string eAcute = "\xC3\xA9";  // U+00E9 in UTF-8
  const std::vector<LineCase> cases = {
      {"utf8-bom",
       "\xEF\xBB\xBF"
       "Caf\xC3\xA9\r\nx",
       {"Caf" + eAcute, "x"}},
      {"utf8-without-bom-is-cp1252", "Caf\xC3\xA9", {"Caf\xC3\x83\xC2\xA9"}},
      {"cp1252", "Caf\xE9 \x80", {"Caf" + eAcute + " \xE2\x82\xAC"}},
      {"utf16le",
       std::string("\xFF\xFE"
                   "C\0\xE9\0\r\0\n\0x\0",
                   12),
       {"C" + eAcute, "x"}},
      {"utf16be", std::string("\xFE\xFF\0C\0\xE9\0\n\0x", 10), {"C" + eAcute, "x"}},
      {"utf16le-nul-ends-text",
       std::string("\xFF\xFE"
                   "a\0\0\0b\0",
                   8),
       {"a"}},
      {"utf8-bom-invalid-byte",
       "\xEF\xBB\xBF"
       "a\xFF"
       "b",
       {"a\xEF\xBF\xBD"
        "b"}},
      {"bom-only", "\xEF\xBB\xBF", {}},
  };
  for (const LineCase& c : cases) EXPECT_EQ(LoadBytes(c.bytes), c.expected) << c.name;
}

TEST(RepositoryLinesTest, FailedLoadKeepsTheList) {
  test::TempDir dir;
  TRepositoryLines lines;
  lines.SetText("a\nb");
  EXPECT_THROW(lines.LoadFromFile(dir / "missing.dat"), EFOpenError);
  EXPECT_EQ(LinesOf(lines), (Lines{"a", "b"}));
  EXPECT_EQ(lines.FindRecordField("a", 1), "b");
}

TEST(RepositoryLinesTest, IndexOutOfBoundsMessage) {
  TRepositoryLines lines;
  lines.SetText("a\nb");
  EXPECT_EQ(lines.Get(1), "b");
  for (int bad : {2, -1, 25}) {
    try {
      lines.Get(bad);
      ADD_FAILURE() << bad;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(bad) + ")");
    }
  }
}

std::string ErrorOf(const TRepositoryLines& lines, const std::string& name, int k) {
  try {
    return "value:" + lines.FindRecordField(name, k);
  } catch (const EStringListError& e) {
    return "error:" + e.Message();
  }
}

TEST(RepositoryLinesTest, LookupRules) {
  TRepositoryLines lines;
  // Two records named Alpha; Beta also occurs later as a description line.
  lines.SetText(
      "a.ico\nAlpha\nhttp://a1\na1.exe\nfirst alpha\nhttp://w1\n\n\n\n\n"
      "b.ico\nBeta\nnone\nb.exe\nbeta text\nhttp://wb\n\n\n\n\n"
      "c.ico\nAlpha\nhttp://a2\na2.exe\nBeta\nhttp://w2\nafter beta\n\n\nlast");
  struct Case {
    const char* what;
    std::string name;
    int k;
    std::string expected;
  } cases[] = {
      {"last record wins", "Alpha", kDescriptionField, "value:Beta"},
      {"archive of last record", "Alpha", kArchiveUrlField, "value:http://a2"},
      {"name later seen as a description", "Beta", kArchiveUrlField, "value:http://w2"},
      {"name later seen as a description, +4", "Beta", kWebPageUrlField, "value:"},
      {"case differs", "alpha", kArchiveUrlField, "value:"},
      {"trailing blank", "Alpha ", kArchiveUrlField, "value:"},
      {"no such name", "Gamma", kWebPageUrlField, "value:"},
      {"field past the end", "after beta", kWebPageUrlField, "error:List index out of bounds (30)"},
      {"last line", "last", kArchiveUrlField, "error:List index out of bounds (30)"},
      {"empty name, last empty line decides", "", kArchiveUrlField, "value:last"},
      {"empty name, +4 past the end", "", kWebPageUrlField, "error:List index out of bounds (31)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(lines, c.name, c.k), c.expected) << c.what;
  }
}

TEST(RepositoryLinesTest, ListEntryOfDuplicateNames) {
  TRepositoryLines lines;
  lines.SetText(
      "a.ico\nTwin\nnone\nx\nfirst twin\nw\n\n\n\n\n"
      "b.ico\nTwin\nhttp://b\nx\nsecond twin\nw\n\n\n\n\n"
      "c.ico\nSolo\nhttp:\nx\nsolo text\nw\n\n\n\n\n"
      "d.ico\nShort\nhttp\nx\nshort text\nw\n\n\n\n\n"
      "e.ico\nEnd\nhttp://e\n");
  TListEntry twin = lines.FindListEntry("Twin");
  EXPECT_TRUE(twin.matched);
  EXPECT_EQ(twin.description, "second twin");
  EXPECT_TRUE(twin.noArchive) << "the first record's archive line is short";
  TListEntry solo = lines.FindListEntry("Solo");
  EXPECT_FALSE(solo.noArchive) << "five characters are an archive";
  EXPECT_TRUE(lines.FindListEntry("Short").noArchive);
  EXPECT_FALSE(lines.FindListEntry("Nobody").matched);
  EXPECT_THROW(lines.FindListEntry("End"), EStringListError);
}

TEST(RepositoryLinesTest, ArchiveLengthCountsUtf16Units) {
  TRepositoryLines lines;
  // Four characters that take eight UTF-8 bytes: still no archive.
  lines.SetText("i\nWide\n\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\nx\nd\n");
  EXPECT_TRUE(lines.FindListEntry("Wide").noArchive);
}

// A malformed "sha256:" line once turned the check off; it must refuse the install instead.
TEST(RepositoryLinesTest, OnlyLinesNotStartingWithSha256MeanNoCheck) {
  const std::string digits = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(ParseIntegrityLine("sha256:" + digits), digits);
  EXPECT_EQ(
      ParseIntegrityLine("sha256:BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"),
      digits);
  for (const std::string& other : {std::string(), " sha256:" + digits, "sha-256:" + digits,
                                   "md5:" + digits, std::string("-")}) {
    EXPECT_EQ(ParseIntegrityLine(other), std::nullopt) << other;
  }
  for (const std::string& malformed :
       {std::string("sha256:"), "sha256:" + digits.substr(1), "sha256:" + digits + "0",
        "sha256:" + digits + " ", "sha256: " + digits, "sha256:" + digits.substr(1) + "g"}) {
    EXPECT_THROW(ParseIntegrityLine(malformed), EIntegrityLineError) << malformed;
  }
  // A record whose integrity line would lie past the end has no digest, and raises nothing.
  TRepositoryLines lines;
  lines.SetText("i\nSix\nhttp://h/six.zip\nsix\nd\nw\n");
  EXPECT_EQ(lines.FindArchiveSha256("Six"), std::nullopt);
  lines.SetText("i\nSeven\nhttp://h/seven.zip\nseven\nd\nw\nsha256:" + digits + "\n");
  EXPECT_EQ(lines.FindArchiveSha256("Seven"), digits);
  lines.SetText("i\nSeven\nhttp://h/seven.zip\nseven\nd\nw\nsha256:" + digits + " \n");
  try {
    lines.FindArchiveSha256("Seven");
    ADD_FAILURE() << "no exception";
  } catch (const EIntegrityLineError& e) {
    EXPECT_EQ(e.Message(),
              "The catalogue's record of \"Seven\" has a malformed integrity line (not "
              "\"sha256:\" and 64 hexadecimal digits), so its archive can't be checked and is "
              "not installed");
  }
}

TEST(InstalledTest, OnlyPlainNamesWithAFolderAreInstalled) {
  test::TempDir dir;
  ASSERT_TRUE(CreateDir(SystemFileSystem(), dir / "Tool"));
  test::WriteFile(dir / "AFile", "x");
  ASSERT_TRUE(CreateDir(SystemFileSystem(), dir / "sub"));
  ASSERT_TRUE(CreateDir(SystemFileSystem(), dir / "sub/inner"));
  EXPECT_TRUE(IsProgramInstalled(SystemFileSystem(), dir.Path(), "Tool"));
  for (const char* name : {"Missing", "AFile", "", ".", "..", "sub/inner", "sub\\inner"}) {
    EXPECT_FALSE(IsProgramInstalled(SystemFileSystem(), dir.Path(), name)) << '"' << name << '"';
  }
}

}  // namespace
}  // namespace varnel
