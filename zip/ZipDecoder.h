// Decoding of one entry's data (traditional decryption, inflate, CRC-32 of stored data) into
// steps that the extraction reports and writes in order on the calling thread. TEntryDecoder
// decodes on the thread that calls it; TDecodeThread runs one on a second thread ahead of the
// writing, reading the entry's pieces from the archive itself. The component owns both;
// neither touches the file system.
#pragma once

#include <zlib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Streams.h"
#include "zip/ZipBytes.h"

namespace varnel {

// The traditional PKWARE stream cipher.
class TZipCrypto {
 public:
  explicit TZipCrypto(const std::string& password);
  void Decrypt(uint8_t* data, size_t count);

 private:
  void Update(uint8_t b);
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

constexpr size_t kPieceSize = 1048576;
constexpr size_t kStoredSlice = 65535;

// What one entry is decoded with.
struct TDecodeSetup {
  bool deflate = false;
  bool encrypted = false;
  TZipCrypto crypto{std::string()};  // past the encryption header already
  size_t outSize = 0;                // bytes one inflate call may produce
  uint64_t unpacked = 0;             // the declared size
};

// A piece of compressed data as read from the archive. The first DEFLATE piece starts at
// offset 2, leaving room for the stream header put in front.
struct TDecodePiece {
  TBytes buffer;
  size_t offset = 0;
  size_t size = 0;
  bool last = false;  // the entry's last piece
};

// Reads the next piece of an entry of packed bytes, of which consumed are read, into piece;
// raises what the archive raises.
void ReadPiece(TStream& archive, uint64_t packed, uint64_t& consumed, TDecodePiece& piece,
               bool deflate);

// One inflate call, or one stored piece with the CRC-32 after each of its slices.
struct TDecodeStep {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint64_t totalBefore = 0;  // inflate's output total before and after the call
  uint64_t totalAfter = 0;
  int result = Z_OK;
  bool inputLeft = false;  // the call left input of its piece unconsumed
  size_t taken = 0;        // input bytes the call consumed
  // Stored: the CRC-32 of the entry's data up to the end of each 65535-byte slice.
  std::vector<uint32_t> sliceCrcs;
  // Inflated: the CRC-32 of this step's data alone, when the decode thread summed it. It does
  // so only for steps that inflate copied (stored blocks, output no larger than the input):
  // elsewhere inflate alone keeps that thread busy, and the writing side sums the CRC.
  bool summed = false;
  uint32_t stepCrc = 0;
  bool last = false;               // ends the last piece
  bool readFailed = false;         // stands for a piece that could not be read
  std::exception_ptr readFailure;  // what reading it raised; empty past the entry's end
  // The decode thread's buffer behind data: output, or the piece itself when stored.
  TBytes buffer;
  bool holdsPiece = false;

  // The call used up its piece: inflate needs the next one.
  bool PieceDone() const { return result == Z_BUF_ERROR && !inputLeft; }
};

class TEntryDecoder {
 public:
  TEntryDecoder() = default;
  ~TEntryDecoder();
  TEntryDecoder(const TEntryDecoder&) = delete;
  TEntryDecoder& operator=(const TEntryDecoder&) = delete;

  // Starts an entry; raises EDecompressionError when inflate can't be set up.
  void Begin(const TDecodeSetup& setup);
  // Takes the next piece: decrypts it in place and, before the first DEFLATE piece, puts the
  // zlib stream header in front. The piece must stay put until its steps are made.
  void Feed(TDecodePiece& piece);
  // DEFLATE: one inflate call over the rest of the fed piece into out (outSize bytes).
  void Inflate(uint8_t* out, TDecodeStep& step);
  // Stored: the fed piece as one step.
  void Store(const TDecodePiece& piece, TDecodeStep& step);
  // After this step the entry's output is over, whatever the caller decides: the data is
  // corrupt, ended, or runs past the declared size.
  static bool EndsEntry(const TDecodeStep& step, uint64_t unpacked);

 private:
  TDecodeSetup setup_;
  z_stream z_{};
  bool zReady_ = false;
  bool first_ = true;
  uint32_t crc_ = 0;
};

// The second thread. REQUIRES: one calling thread, which runs Begin, then Next/Recycle in
// turns, then End, per entry; the archive stream is the decode thread's from Begin to End,
// and the calling thread leaves it alone meanwhile. The thread is joined by the destructor.
class TDecodeThread {
 public:
  TDecodeThread();
  ~TDecodeThread();
  TDecodeThread(const TDecodeThread&) = delete;
  TDecodeThread& operator=(const TDecodeThread&) = delete;

  // Starts an entry of packed bytes at the archive's position.
  void Begin(const TDecodeSetup& setup, TStream& archive, uint64_t packed);
  // The next step in order; waits for it. A piece that can't be read comes as a step after
  // the steps before it, with what the read raised.
  TDecodeStep Next();
  void Recycle(TDecodeStep&& step);
  // Drops what was decoded ahead and not taken, and waits until the thread is idle.
  void End() noexcept;

 private:
  void Run();
  void DecodeEntry(std::unique_lock<std::mutex>& lock);
  // Queues a step for the caller; false (and the buffer back in its pool) when End wants the
  // thread idle. REQUIRES: mutex_ held, as for Release.
  bool Deliver(TDecodeStep&& step);
  void Release(TDecodeStep& step);

  std::mutex mutex_;
  std::condition_variable wake_;  // the decode thread waits here
  std::condition_variable done_;  // the calling thread waits here
  bool quit_ = false;
  bool running_ = false;  // an entry is being decoded
  bool ending_ = false;   // End wants the thread idle
  TDecodeSetup setup_;
  TStream* archive_ = nullptr;
  uint64_t packed_ = 0;
  std::deque<TDecodeStep> steps_;
  std::vector<TBytes> freePieces_;
  std::vector<TBytes> freeOutputs_;
  TEntryDecoder decoder_;  // set up by Begin while the thread is idle, then used by it alone
  std::thread thread_;
};

}  // namespace varnel
