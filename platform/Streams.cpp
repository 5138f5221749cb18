#include "platform/Streams.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace varnel {

int64_t TStream::Size() {
  int64_t position = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  int64_t left = count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

int64_t THeadStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t kept = std::clamp<int64_t>(limit_ - position_, 0, count);
  if (kept > 0) {
    if (static_cast<int64_t>(head_.size()) < position_ + kept) {
      head_.resize(static_cast<size_t>(position_ + kept));
    }
    std::copy_n(static_cast<const char*>(buffer), kept, head_.begin() + position_);
  }
  overflowed_ = overflowed_ || kept < count;
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t THeadStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void THeadStream::SetSize(int64_t newSize) {
  size_ = std::max<int64_t>(0, newSize);
  overflowed_ = overflowed_ && size_ > limit_;
  if (static_cast<int64_t>(head_.size()) > size_) head_.resize(static_cast<size_t>(size_));
  position_ = std::min(position_, size_);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
  auto held = static_cast<int64_t>(data_.size());
  int64_t copied = std::clamp<int64_t>(held - position_, 0, n);
  if (copied > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(copied));
  std::memset(static_cast<uint8_t*>(buffer) + copied, 0, static_cast<size_t>(n - copied));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > static_cast<int64_t>(data_.size())) {
    data_.resize(static_cast<size_t>(position_ + count));
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  size_ = std::max<int64_t>(0, newSize);
  if (static_cast<int64_t>(data_.size()) > size_) data_.resize(static_cast<size_t>(size_));
  position_ = std::min(position_, size_);
}

const std::vector<uint8_t>& TMemoryStream::Data() const {
  data_.resize(static_cast<size_t>(size_));
  return data_;
}

std::string TMemoryStream::Text() const {
  const std::vector<uint8_t>& data = Data();
  return std::string(data.begin(), data.end());
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  size_ = 0;
  position_ = 0;
}

}  // namespace varnel
