#include "platform/ReadAheadStream.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel {
namespace {

class CountingStream : public TForwardingStream {
 public:
  using TForwardingStream::TForwardingStream;
  int64_t Read(void* buffer, int64_t count) override {
    ++reads;
    return target_.Read(buffer, count);
  }
  int reads = 0;
};

std::string Pattern(int size) {
  std::string s;
  for (int i = 0; i < size; ++i) s += static_cast<char>(i * 7 % 251);
  return s;
}

// Every step is done on the read-ahead stream (blocks of 64 bytes) and on a plain memory
// stream holding the same bytes; results, bytes read and positions must agree.
TEST(ReadAheadStream, BehavesAsItsTargetWouldAcrossBlockEdges) {
  struct Step {
    char kind;  // r: read count, s: seek, w: write count bytes of "wxyz..."
    int64_t value;
    TSeekOrigin origin = soBeginning;
  };
  const Step steps[] = {
      {'r', 30},
      {'r', 30},
      {'r', 30},  // the third crosses a block's end
      {'s', -50, soCurrent},
      {'r', 20},   // back into the block held
      {'r', 200},  // a read larger than a block
      {'s', 990},
      {'r', 30},  // over the end: a short read
      {'r', 5},
      {'s', 20, soEnd},
      {'r', 5},  // at and past the end: nothing
      {'s', -10, soEnd},
      {'r', 4},
      {'w', 3},
      {'r', 10},  // a write inside the data
      {'s', 0},
      {'r', 8},
      {'w', 2},
      {'s', 0},  // and one inside the block held
      {'r', 20},
      {'s', 0},
      {'r', 1100},
  };
  std::string data = Pattern(1000);
  TMemoryStream reference;
  reference.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  reference.SetPosition(0);
  auto target = std::make_unique<TMemoryStream>();
  target->WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  target->SetPosition(0);
  TReadAheadStream stream(std::move(target), 64);
  int index = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE("step " + std::to_string(index++));
    if (step.kind == 'r') {
      std::string expected(static_cast<size_t>(step.value), '\0');
      std::string got(static_cast<size_t>(step.value), '\0');
      int64_t n = reference.Read(expected.data(), step.value);
      ASSERT_EQ(stream.Read(got.data(), step.value), n);
      EXPECT_EQ(got.substr(0, static_cast<size_t>(n)), expected.substr(0, static_cast<size_t>(n)));
    } else if (step.kind == 's') {
      ASSERT_EQ(stream.Seek(step.value, step.origin), reference.Seek(step.value, step.origin));
    } else {
      std::string bytes = std::string("wxyz").substr(0, static_cast<size_t>(step.value));
      ASSERT_EQ(stream.Write(bytes.data(), step.value), reference.Write(bytes.data(), step.value));
    }
    EXPECT_EQ(stream.Position(), reference.Position());
    EXPECT_EQ(stream.Size(), reference.Size());
  }
}

// The block is cut to a file smaller than it; bytes written past the old end are read too.
TEST(ReadAheadStream, ReadsAFileSmallerThanABlockThatThenGrows) {
  std::string data = Pattern(40);
  auto target = std::make_unique<TMemoryStream>();
  target->WriteBuffer(data.data(), 40);
  target->SetPosition(0);
  TReadAheadStream stream(std::move(target), 64);
  std::string got(50, '\0');
  EXPECT_EQ(stream.Read(got.data(), 30), 30);
  stream.Seek(0, soEnd);
  stream.WriteBuffer("wxyz", 4);
  stream.Seek(0, soBeginning);
  EXPECT_EQ(stream.Read(got.data(), 50), 44);  // less than a block: through the block
  EXPECT_EQ(got.substr(0, 44), data + "wxyz");
}

TEST(ReadAheadStream, AWalkOfSmallReadsAndSkipsReadsEachBlockOnce) {
  TMemoryStream memory;
  std::string data = Pattern(40000);
  memory.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  memory.SetPosition(0);
  auto counting = std::make_unique<CountingStream>(memory);
  CountingStream* target = counting.get();
  TReadAheadStream stream(std::move(counting), 4096);
  char header[30];
  for (int64_t at = 0; at + 40 <= 40000; at += 40) {
    stream.ReadBuffer(header, 30);
    ASSERT_EQ(std::string(header, 30), data.substr(static_cast<size_t>(at), 30));
    stream.Seek(10, soCurrent);
  }
  EXPECT_LE(target->reads, 40000 / 4096 + 1);
}

}  // namespace
}  // namespace varnel
