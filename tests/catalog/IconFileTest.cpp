#include "catalog/IconFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>

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
      EXPECT_EQ(ReadIconFile(SystemFileSystem(), dir / c.name), c.bytes) << c.name;
    } else {
      EXPECT_THROW(ReadIconFile(SystemFileSystem(), dir / c.name), EInvalidGraphic) << c.name;
    }
  }
  EXPECT_THROW(ReadIconFile(SystemFileSystem(), dir / "missing.ico"), EFOpenError);
}

TEST(IconFileTest, HugeFileIsNotRead) {
  test::TempDir dir;
  {
    TFileStream file(dir / "huge.ico", fmCreate);
    file.WriteBuffer("\0\0\1\0\1\0", 6);
    file.SetSize(kMaxIconFileSize + 1);  // sparse: no disk space needed
  }
  EXPECT_THROW(ReadIconFile(SystemFileSystem(), dir / "huge.ico"), EInvalidGraphic);
}

// An icon line can name any path; a pipe there must not keep the catalogue load waiting.
TEST(IconFileTest, APipeIsRefusedWithoutWaitingForAWriter) {
  test::TempDir dir;
  const std::string pipe = dir / "pipe.ico";
  ASSERT_EQ(std::system(("mkfifo '" + pipe + "'").c_str()), 0);
  auto reading = std::async(std::launch::async, [&] { ReadIconFile(SystemFileSystem(), pipe); });
  const bool finished = reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!finished) std::ofstream(pipe) << "x";  // a writer lets the blocked open return
  EXPECT_TRUE(finished) << "the read waited for a writer on the pipe";
  EXPECT_THROW(reading.get(), EInvalidGraphic);
}

}  // namespace
}  // namespace varnel
