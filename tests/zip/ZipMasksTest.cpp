// File masks and the attribute filter of the selection.
#include <gtest/gtest.h>

#include "zip/ZipMasks.h"

namespace varnel {
namespace {

TEST(ZipMasks, MasksSelectAsTheSystemDoes) {
  struct Case {
    const char* name;
    const char* mask;
    bool matches;
  };
  const Case cases[] = {
      {"README", "*.*", true},
      {"sub/", "*.*", true},
      {"sub/a.txt", "*.*", true},
      {".hidden", "*.*", true},
      {"sub/a.txt", "*.txt", true},
      {"a.TXT", "*.txt", true},
      {"ab", "a*.*", true},
      {"README", "readme.", true},
      {"README.", "readme.", true},
      {"README.txt", "readme.", false},
      {"b.txt", "a*", false},
      {"a.txt", "", false},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"\u00c4.txt", "\u00e4.txt", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " / " << c.mask;
  }
}

}  // namespace
}  // namespace varnel
