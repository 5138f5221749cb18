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

TEST(FileStream, KeepsItsPositionAndSizeInStepWithTheFile) {
  TempDir dir;
  test::WriteFile(dir / "f", "0123456789");
  {
    TFileStream f(dir / "f", fmOpenReadWrite);
    EXPECT_EQ(f.Size(), 10);
    char c[4];
    EXPECT_EQ(f.Read(c, 4), 4);
    EXPECT_EQ(f.Position(), 4);
    EXPECT_EQ(f.Seek(5, soEnd), 15);
    f.WriteBuffer("ab", 2);
    EXPECT_EQ(f.Position(), 17);
    EXPECT_EQ(f.Size(), 17);
    f.SetSize(20);
    EXPECT_EQ(f.Size(), 20);
    EXPECT_EQ(f.Position(), 17);
    f.SetSize(3);
    EXPECT_EQ(f.Position(), 3);
    EXPECT_EQ(f.Read(c, 4), 0);
    f.WriteBuffer("Z", 1);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(test::ReadFile(dir / "f"), "012Z");
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

TEST(MemoryStream, AHugeSizeHoldsNoMemoryUntilWritten) {
  TMemoryStream m;
  m.SetSize(int64_t{1} << 40);
  EXPECT_EQ(m.Size(), int64_t{1} << 40);
  char c[3] = {'x', 'x', 'x'};
  EXPECT_EQ(m.Read(c, 3), 3);
  EXPECT_EQ(std::string(c, 3), std::string(3, '\0'));
  m.SetPosition(0);
  m.WriteBuffer("abc", 3);
  m.SetSize(5);
  EXPECT_EQ(m.Text(), std::string("abc\0\0", 5));
}

}  // namespace
}  // namespace varnel
