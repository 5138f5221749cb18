#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Exception.h"
#include "platform/Streams.h"
#include "platform/SysErrors.h"

namespace varnel {

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : fileName_(fileName) {
  bool create = IsCreateMode(mode);
  int flags = O_CLOEXEC;
  if (create) {
    flags |= O_RDWR | O_CREAT | ((mode & 0xFF00) == fmCreateNew ? O_EXCL : O_TRUNC);
  } else {
    switch (mode & 0x3) {
      case fmOpenWrite:
        flags |= O_WRONLY;
        break;
      case fmOpenReadWrite:
        flags |= O_RDWR;
        break;
      default:
        flags |= O_RDONLY;
        break;
    }
  }
  fd_ = ::open(fileName.c_str(), flags, 0666);
  if (fd_ < 0) {
    std::string reason = SystemErrorMessage(SystemErrorFromErrno(errno, fileName));
    if (create) throw EFCreateError("Cannot create file \"" + fileName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  position_ += done;
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n =
        ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  position_ += done;
  if (size_ >= 0) size_ = std::max(size_, position_);
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == soCurrent && offset == 0) return position_;
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(fd_, offset, whence);
  if (result < 0) return -1;
  position_ = result;
  return result;
}

int64_t TFileStream::Size() {
  if (size_ < 0) {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return -1;
    size_ = status.st_size;
  }
  return size_;
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(fd_, newSize) != 0) throw EStreamError("Stream size error");
  size_ = newSize;
  if (position_ > newSize) Seek(newSize, soBeginning);
}

}  // namespace varnel
