// Byte buffers for decoding: they grow without setting their new bytes and are moved, never
// copied. The decoders fill them by a read or by inflate before anything reads them, and
// zeroing a megabyte buffer would cost more than a small entry does. Each buffer belongs to
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace varnel {

class TBytes {
 public:
  TBytes() = default;
  TBytes(TBytes&& other) noexcept
      : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)) {}
  TBytes& operator=(TBytes&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t& operator[](size_t at) { return bytes_[at]; }

  // Makes room for at least size bytes; what the buffer held is lost when it grows.
  void Reserve(size_t size) {
    if (size <= size_) return;
    bytes_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    size_ = size;
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};

}  // namespace varnel
