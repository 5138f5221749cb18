// A stream that reads its target a block at a time, so the many small reads and short seeks of
// a reader walking a file (a header, then the data behind it) cost no system call each. Reads
// as large as a block go straight to the target. Owns the target, which nothing else may move
// while the stream lives; used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Streams.h"

namespace varnel {

class TReadAheadStream : public TStream {
 public:
  explicit TReadAheadStream(std::unique_ptr<TStream> target, int64_t blockSize = 65536);

  int64_t Read(void* buffer, int64_t count) override;
  // Writes at the position; the block read ahead is dropped.
  int64_t Write(const void* buffer, int64_t count) override;
  // Moves the position only; the target follows at the next read or write.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return target_->Size(); }
  void SetSize(int64_t newSize) override;

 private:
  // Puts the target at the position; false when it can't go there.
  bool MoveTarget();

  std::unique_ptr<TStream> target_;
  int64_t blockSize_;
  std::unique_ptr<uint8_t[]> block_;  // the bytes at blockStart_, made at the first read
  int64_t blockCapacity_ = 0;
  int64_t blockStart_ = 0;
  int64_t blockFill_ = 0;
  int64_t position_ = 0;
  int64_t targetPosition_ = 0;
};

}  // namespace varnel
