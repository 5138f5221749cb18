// Byte streams: the abstract TStream, a file stream over a descriptor it owns, and a
// growable in-memory stream. Positions and sizes are 64-bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written (fewer when the disk is full).
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  // Grows or cuts the stream; raises EStreamError when it can't.
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
  // Read or write exactly count bytes, or raise EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position (count 0: the whole of source from its start).
  int64_t CopyFrom(TStream& source, int64_t count);
};

// Passes every call on to a target stream it doesn't own; a decorator overrides what it watches.
// REQUIRES: target outlives the stream.
class TForwardingStream : public TStream {
 public:
  explicit TForwardingStream(TStream& target) : target_(target) {}

  int64_t Read(void* buffer, int64_t count) override { return target_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override { return target_.Write(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return target_.Seek(offset, origin); }
  int64_t Size() override { return target_.Size(); }
  void SetSize(int64_t newSize) override { target_.SetSize(newSize); }

 protected:
  TStream& target_;
};

// Open modes: an access mode, fmCreate or fmCreateNew, combined with a share mode. Share modes
// are accepted for the callers' sake; Linux has no mandatory file sharing rules.
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,     // create, or truncate an existing file; read and write access
  fmCreateNew = 0xFE00,  // create where nothing is, not even a link; read and write access
};

// Whether mode creates the file (fmCreate or fmCreateNew).
constexpr bool IsCreateMode(unsigned mode) {
  return (mode & 0xFF00) == fmCreate || (mode & 0xFF00) == fmCreateNew;
}

// A file opened by name. Owns its descriptor; closing happens on destruction.
// Raises EFCreateError / EFOpenError ("Cannot create file "%s". %s") when opening fails.
// Keeps its own position and size, so asking for them costs no system call; nothing else may
// move or resize the descriptor while the stream is open.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int fd_ = -1;
  int64_t position_ = 0;
  int64_t size_ = -1;  // read from the file on first use
};

// Keeps only the first limit bytes written to it: behaves like a stream of any size (its
// position and size go on), but what lies past the limit is dropped, so a body from a server
// can't make it hold more. Growing it by SetSize holds no memory.
class THeadStream : public TStream {
 public:
  explicit THeadStream(int64_t limit) : limit_(limit) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t newSize) override;

  const std::string& Head() const { return head_; }
  // Whether some byte written fell past the limit.
  bool Overflowed() const { return overflowed_; }

 private:
  int64_t limit_;
  std::string head_;
  int64_t position_ = 0;
  int64_t size_ = 0;
  bool overflowed_ = false;
};

// A stream held in memory; grows as it is written. Growing by SetSize holds no memory until
// the bytes are written or Data() is asked for, so a huge announced length costs nothing.
class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t newSize) override;

  const std::vector<uint8_t>& Data() const;
  std::string Text() const;
  void Clear();

 private:
  mutable std::vector<uint8_t> data_;  // the first bytes; the rest up to size_ read as zeros
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace varnel
