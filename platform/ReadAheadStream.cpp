#include "platform/ReadAheadStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace varnel {

TReadAheadStream::TReadAheadStream(std::unique_ptr<TStream> target, int64_t blockSize)
    : target_(std::move(target)), blockSize_(blockSize) {
  position_ = targetPosition_ = target_->Position();
}

bool TReadAheadStream::MoveTarget() {
  if (targetPosition_ == position_) return true;
  targetPosition_ = target_->Seek(position_, soBeginning);
  return targetPosition_ == position_;
}

int64_t TReadAheadStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (position_ >= blockStart_ && position_ < blockStart_ + blockFill_) {
      int64_t n = std::min(count - done, blockStart_ + blockFill_ - position_);
      std::memcpy(out + done, block_.get() + (position_ - blockStart_), static_cast<size_t>(n));
      done += n;
      position_ += n;
      continue;
    }
    if (!MoveTarget()) break;
    if (count - done >= blockSize_) {
      int64_t n = target_->Read(out + done, count - done);
      done += n;
      position_ += n;
      targetPosition_ = position_;
      break;
    }
    if (!block_) {
      // A file smaller than a block needs no more than its size.
      blockCapacity_ = std::clamp<int64_t>(target_->Size(), 1, blockSize_);
      block_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(blockCapacity_));
    }
    blockStart_ = position_;
    blockFill_ = target_->Read(block_.get(), blockCapacity_);
    targetPosition_ = position_ + blockFill_;
    if (blockFill_ <= 0) {
      blockFill_ = 0;
      break;
    }
  }
  return done;
}

int64_t TReadAheadStream::Write(const void* buffer, int64_t count) {
  blockFill_ = 0;
  if (!MoveTarget()) return 0;
  int64_t n = target_->Write(buffer, count);
  position_ += n;
  targetPosition_ = position_;
  return n;
}

int64_t TReadAheadStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : target_->Size();
  int64_t result = 0;
  if (base < 0 || __builtin_add_overflow(base, offset, &result) || result < 0) return -1;
  position_ = result;
  return result;
}

void TReadAheadStream::SetSize(int64_t newSize) {
  blockFill_ = 0;
  target_->SetSize(newSize);
  targetPosition_ = target_->Position();
  position_ = std::min(position_, std::max<int64_t>(newSize, 0));
}

}  // namespace varnel
