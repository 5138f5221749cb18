#include "catalog/IconFile.h"

#include <gtest/gtest.h>

#include "platform/Streams.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

TEST(IconFileTest, HeaderCheck) {
  struct Case {
    const char* name;
    std::string bytes;
    bool accepted;
  } cases[] = {
      {"icon", std::string("\0\0\1\0\1\0", 6), true},
      {"type-0", std::string("\0\0\0\0\0\0", 6), true},
      {"cursor-type-2", std::string("\0\0\2\0\1\0", 6), false},
      {"type-high-byte", std::string("\0\0\1\1\1\0", 6), false},
      {"five-bytes", std::string("\0\0\1\0\1", 5), false},
      {"empty", "", false},
      {"garbage-after-header", std::string("\0\0\1\0\7\0", 6) + "not an image", true},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    test::WriteFile(dir / c.name, c.bytes);
    if (c.accepted) {
      EXPECT_EQ(ReadIconFile(dir / c.name), c.bytes) << c.name;
    } else {
      EXPECT_THROW(ReadIconFile(dir / c.name), EInvalidGraphic) << c.name;
    }
  }
  EXPECT_THROW(ReadIconFile(dir / "missing.ico"), EFOpenError);
}

TEST(IconFileTest, HugeFileIsNotRead) {
  test::TempDir dir;
  {
    TFileStream file(dir / "huge.ico", fmCreate);
    file.WriteBuffer("\0\0\1\0\1\0", 6);
    file.SetSize(kMaxIconFileSize + 1);  // sparse: no disk space needed
  }
  EXPECT_THROW(ReadIconFile(dir / "huge.ico"), EInvalidGraphic);
}

}  // namespace
}  // namespace varnel
