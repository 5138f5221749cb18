#include <gtest/gtest.h>

#include "platform/Text.h"

namespace varnel {
namespace {

TEST(Text, Utf16RoundTripAndLength) {
  std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, an emoji
  EXPECT_EQ(Utf16Length(s), 5u);
  EXPECT_EQ(Utf8ToUtf16(s).size(), 5u);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
}

TEST(Text, InvalidUtf8DecodesToReplacementCharacters) {
  EXPECT_FALSE(IsValidUtf8("\x81"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));        // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));    // a surrogate
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD ok"));  // U+FFFD itself
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xFF"
                                    "b")),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Text, CodePages) {
  EXPECT_EQ(Cp1252ToUtf8("\x80\xE9\x81"), "\xE2\x82\xAC\xC3\xA9\xC2\x81");
  EXPECT_EQ(Cp437ToUtf8("\x81\x9C"), "\xC3\xBC\xC2\xA3");  // u umlaut, pound sign
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC\xC3\xA9\xE2\x98\x83"), "\x80\xE9?");
  EXPECT_EQ(Utf16BytesToUtf8(std::string("A\0\xAC\x20", 4), false), "A\xE2\x82\xAC");
  EXPECT_EQ(Utf16BytesToUtf8(std::string("\0A\x20\xAC", 4), true), "A\xE2\x82\xAC");
}

// Header names, schemes and archive names fold only the 26 ASCII letters, under any locale.
TEST(Text, AsciiLowerFoldsOnlyAsciiLetters) {
  const std::pair<std::string, std::string> cases[] = {
      {"Transfer-Encoding: CHUNKED", "transfer-encoding: chunked"},
      {"LOCALHOST", "localhost"},
      {"@[`{AZ", "@[`{az"},  // the neighbours of the letter ranges stay
      {"\xC3\x89"
       "COLE.EXE",
       "\xC3\x89"
       "cole.exe"},  // UTF-8 of an accented capital stays
      {std::string("N\0UL", 4), std::string("n\0ul", 4)},
  };
  for (const auto& [text, lower] : cases) EXPECT_EQ(AsciiLower(text), lower) << text;
  EXPECT_EQ(AsciiLower(u'Q'), u'q');
  EXPECT_EQ(AsciiLower(u'\u00C0'), u'\u00C0');
  EXPECT_EQ(AsciiLower(u'\u0130'), u'\u0130');  // a dotted capital I is no ASCII letter
}

}  // namespace
}  // namespace varnel
