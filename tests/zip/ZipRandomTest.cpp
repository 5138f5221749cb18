// Random damage to a valid archive never crashes the reader or writes outside the destination,
// and decoding on the decode thread shows the same as decoding inline.
#include <gtest/gtest.h>

#include <random>

#include "tests/zip/ZipTestSupport.h"

namespace varnel::test {
namespace {

TEST(ZipRandom, DamagedBytesEndInExceptionsOrFailuresOnly) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "row " + std::to_string(i) + "\n";
  const std::string valid = BuildZip({{.name = "a/one.txt", .data = text, .method = 8},
                                      {.name = "two.bin", .data = std::string(3000, '\x7f')},
                                      {.name = "dir/", .data = "", .externalAttr = 0x10},
                                      {.name = "three", .data = "3", .method = 8}},
                                     {.comment = "note"});
  std::mt19937 random(20261208);
  int opened = 0;
  for (int round = 0; round < 400; ++round) {
    std::string bytes = valid;
    int damages = 1 + static_cast<int>(random() % 8);
    for (int d = 0; d < damages; ++d) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    if (round % 10 == 0) bytes.resize(random() % bytes.size());
    SCOPED_TRACE(round);
    // Failures are ignored; both modes must show the same and write nothing beside the
    // destination.
    std::vector<std::string> oneThread = ObservedExtraction(bytes, false);
    EXPECT_EQ(oneThread, ObservedExtraction(bytes, true));
    for (const std::string& line : oneThread) {
      EXPECT_FALSE(line.starts_with("outside ")) << line;
      opened += line.starts_with("opened ");
    }
  }
  // Most damage leaves an archive that opens, so extraction is exercised too.
  EXPECT_GT(opened, 200);
}

}  // namespace
}  // namespace varnel::test
