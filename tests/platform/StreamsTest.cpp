#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "platform/Streams.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using test::TempDir;

TEST(FileStream, CreateTruncatesAndReadsBack) {
  TempDir dir;
  test::WriteFile(dir / "f", "old contents");
  {
    TFileStream f(dir / "f", fmCreate);
    EXPECT_EQ(f.Size(), 0);
    f.WriteBuffer("hello", 5);
    f.SetPosition(1);
    char c[2];
    f.ReadBuffer(c, 2);
    EXPECT_EQ(std::string(c, 2), "el");
    EXPECT_THROW(f.ReadBuffer(c, 3), EReadError);
    f.SetSize(2);
    EXPECT_EQ(f.Size(), 2);
  }
  EXPECT_EQ(test::ReadFile(dir / "f"), "he");
}

TEST(FileStream, FailuresNameTheFileAndTheReason) {
  TempDir dir;
  try {
    TFileStream f(dir / "missing/x", fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + (dir / "missing/x") +
                               "\". The system cannot find the path specified");
  }
  try {
    TFileStream f(dir / "absent", fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + (dir / "absent") +
                               "\". The system cannot find the file specified");
  }
}

TEST(MemoryStream, GrowsAndSeeks) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  m.Seek(-2, soEnd);
  char c[4] = {};
  EXPECT_EQ(m.Read(c, 4), 2);
  EXPECT_EQ(std::string(c, 2), "ef");
  m.SetPosition(8);
  m.WriteBuffer("z", 1);
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(m.Text(), std::string("abcdef\0\0z", 9));
  TMemoryStream copy;
  copy.CopyFrom(m, 0);
  EXPECT_EQ(copy.Data(), m.Data());
}

}  // namespace
}  // namespace varnel
