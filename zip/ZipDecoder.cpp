#include "zip/ZipDecoder.h"

#include <algorithm>

#include "zip/ZipException.h"

namespace varnel {

namespace {

// Two pieces let the next stored one be read while one is written; three outputs let the
// writing lag two inflate calls behind. About 5 MiB at most.
constexpr size_t kPieceBuffers = 2;
constexpr size_t kOutputBuffers = 3;

uint32_t CrcByte(uint32_t crc, uint8_t b) {
  return static_cast<uint32_t>(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}

void Refill(std::vector<TBytes>& pool, size_t count, size_t size) {
  pool.resize(std::max(pool.size(), count));
  for (TBytes& buffer : pool) buffer.Reserve(size);
}

}  // namespace

void ReadPiece(TStream& archive, uint64_t packed, uint64_t& consumed, TDecodePiece& piece,
               bool deflate) {
  piece.size = static_cast<size_t>(std::min<uint64_t>(kPieceSize, packed - consumed));
  piece.offset = deflate && consumed == 0 ? 2 : 0;
  consumed += piece.size;
  piece.last = consumed == packed;
  archive.ReadBuffer(piece.buffer.data() + piece.offset, static_cast<int64_t>(piece.size));
}

TZipCrypto::TZipCrypto(const std::string& password) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void TZipCrypto::Decrypt(uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t temp = (keys_[2] | 2) & 0xFFFF;
    data[i] ^= static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
    Update(data[i]);
  }
}

void TZipCrypto::Update(uint8_t b) {
  keys_[0] = CrcByte(keys_[0], b);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
  keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

TEntryDecoder::~TEntryDecoder() {
  if (zReady_) inflateEnd(&z_);
}

void TEntryDecoder::Begin(const TDecodeSetup& setup) {
  setup_ = setup;
  first_ = true;
  crc_ = crc32(0, nullptr, 0);
  if (!setup.deflate) return;
  if (!zReady_) {
    if (inflateInit(&z_) != Z_OK) throw EDecompressionError("error");
    zReady_ = true;
  } else {
    inflateReset(&z_);
  }
  // The entry's data never carries the zlib checksum, so computing one over every output byte
  // is wasted: inflate still takes 4 bytes after the DEFLATE data as the checksum, and the end
  // of the stream (reached only through those bytes) ends the entry as a failed check.
  inflateValidate(&z_, 0);
}

void TEntryDecoder::Feed(TDecodePiece& piece) {
  uint8_t* data = piece.buffer.data() + piece.offset;
  if (setup_.encrypted) setup_.crypto.Decrypt(data, piece.size);
  if (!setup_.deflate) return;
  if (first_) {
    // inflate in zlib format takes the raw data behind this stream header.
    piece.buffer[0] = 0x78;
    piece.buffer[1] = 0x01;
  }
  first_ = false;
  z_.next_in = piece.buffer.data();
  z_.avail_in = static_cast<uInt>(piece.offset + piece.size);
}

void TEntryDecoder::Inflate(uint8_t* out, TDecodeStep& step) {
  step.totalBefore = z_.total_out;
  z_.next_out = out;
  z_.avail_out = static_cast<uInt>(setup_.outSize);
  uInt availIn = z_.avail_in;
  step.result = inflate(&z_, Z_NO_FLUSH);
  step.taken = availIn - z_.avail_in;
  step.data = out;
  step.size = setup_.outSize - z_.avail_out;
  step.totalAfter = z_.total_out;
  step.inputLeft = z_.avail_in != 0;
}

void TEntryDecoder::Store(const TDecodePiece& piece, TDecodeStep& step) {
  step.data = piece.buffer.data() + piece.offset;
  step.size = piece.size;
  step.last = piece.last;
  step.sliceCrcs.clear();
  for (size_t at = 0; at < piece.size; at += kStoredSlice) {
    crc_ = crc32(crc_, step.data + at, static_cast<uInt>(std::min(kStoredSlice, piece.size - at)));
    step.sliceCrcs.push_back(crc_);
  }
}

bool TEntryDecoder::EndsEntry(const TDecodeStep& step, uint64_t unpacked) {
  return (step.result < 0 && !step.PieceDone()) || step.result == Z_STREAM_END ||
         step.totalAfter > unpacked;
}

TDecodeThread::TDecodeThread() : thread_([this] { Run(); }) {}

TDecodeThread::~TDecodeThread() {
  End();
  {
    std::lock_guard<std::mutex> hold(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TDecodeThread::Begin(const TDecodeSetup& setup, TStream& archive, uint64_t packed) {
  {
    // The thread is idle. Buffers are made here, so it never allocates.
    std::lock_guard<std::mutex> hold(mutex_);
    Refill(freePieces_, kPieceBuffers, std::min<uint64_t>(kPieceSize, packed) + 2);
    if (setup.deflate) Refill(freeOutputs_, kOutputBuffers, setup.outSize);
    decoder_.Begin(setup);
    setup_ = setup;
    archive_ = &archive;
    packed_ = packed;
    running_ = true;
  }
  wake_.notify_all();
}

TDecodeStep TDecodeThread::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !steps_.empty() || !running_; });
  if (steps_.empty()) {
    // Only reached when the caller asks past the entry's end: no data, a failed piece.
    TDecodeStep none;
    none.readFailed = true;
    return none;
  }
  TDecodeStep step = std::move(steps_.front());
  steps_.pop_front();
  return step;
}

void TDecodeThread::Recycle(TDecodeStep&& step) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    Release(step);
  }
  wake_.notify_all();
}

void TDecodeThread::Release(TDecodeStep& step) {
  if (!step.buffer.empty()) {
    (step.holdsPiece ? freePieces_ : freeOutputs_).push_back(std::move(step.buffer));
  }
}

void TDecodeThread::End() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  ending_ = true;
  wake_.notify_all();
  done_.wait(lock, [this] { return !running_; });
  ending_ = false;
  archive_ = nullptr;
  for (TDecodeStep& step : steps_) Release(step);
  steps_.clear();
}

void TDecodeThread::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return quit_ || running_; });
    if (quit_) return;
    DecodeEntry(lock);
    running_ = false;
    done_.notify_all();
  }
}

// Runs with the lock held, and lets go of it while reading, decrypting and inflating.
void TDecodeThread::DecodeEntry(std::unique_lock<std::mutex>& lock) {
  uint64_t consumed = 0;
  while (consumed < packed_) {
    wake_.wait(lock, [this] { return ending_ || !freePieces_.empty(); });
    if (ending_) return;
    TDecodePiece piece;
    piece.buffer = std::move(freePieces_.back());
    freePieces_.pop_back();
    lock.unlock();
    std::exception_ptr readFailure;
    try {
      ReadPiece(*archive_, packed_, consumed, piece, setup_.deflate);
    } catch (...) {
      readFailure = std::current_exception();
    }
    TDecodeStep stored;
    if (!readFailure) {
      decoder_.Feed(piece);
      if (!setup_.deflate) decoder_.Store(piece, stored);
    }
    lock.lock();
    if (readFailure) {
      freePieces_.push_back(std::move(piece.buffer));
      TDecodeStep failed;
      failed.readFailed = true;
      failed.readFailure = readFailure;
      Deliver(std::move(failed));
      return;
    }
    if (!setup_.deflate) {
      stored.buffer = std::move(piece.buffer);
      stored.holdsPiece = true;
      if (!Deliver(std::move(stored))) return;
      continue;
    }
    while (true) {
      wake_.wait(lock, [this] { return ending_ || !freeOutputs_.empty(); });
      if (ending_) {
        freePieces_.push_back(std::move(piece.buffer));
        return;
      }
      TDecodeStep step;
      step.buffer = std::move(freeOutputs_.back());
      freeOutputs_.pop_back();
      lock.unlock();
      decoder_.Inflate(step.buffer.data(), step);
      if (step.size > 0 && step.size <= step.taken) {
        step.stepCrc = crc32(0, step.data, static_cast<uInt>(step.size));
        step.summed = true;
      }
      lock.lock();
      bool pieceDone = step.PieceDone();
      step.last = piece.last && pieceDone;
      bool endsEntry = step.last || TEntryDecoder::EndsEntry(step, setup_.unpacked);
      if (!Deliver(std::move(step)) || endsEntry) {
        freePieces_.push_back(std::move(piece.buffer));
        return;
      }
      if (pieceDone) break;
    }
    freePieces_.push_back(std::move(piece.buffer));
  }
}

bool TDecodeThread::Deliver(TDecodeStep&& step) {
  if (ending_) {
    Release(step);
    return false;
  }
  steps_.push_back(std::move(step));
  done_.notify_all();
  return true;
}

}  // namespace varnel
