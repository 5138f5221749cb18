#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

std::string WithoutTrailingDelimiter(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  return p;
}

void Check(int result, const std::string& path) {
  if (result != 0) throw EInOutError(SystemErrorFromErrno(errno, path));
}

// A descriptor open on the locked file; closing it releases the lock.
class TPosixFileLock : public TFileLock {
 public:
  explicit TPosixFileLock(int fd) : fd_(fd) {}
  ~TPosixFileLock() override { ::close(fd_); }
  TPosixFileLock(const TPosixFileLock&) = delete;
  TPosixFileLock& operator=(const TPosixFileLock&) = delete;

 private:
  int fd_;
};

class TPosixFileSystem : public IFileSystem {
 public:
  TFileStatus Status(const std::string& path, bool followLinks) override {
    struct stat st {};
    TFileStatus status;
    std::string p = WithoutTrailingDelimiter(path);
    if ((followLinks ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) return status;
    status.Kind = S_ISREG(st.st_mode)   ? TFileKind::File
                  : S_ISDIR(st.st_mode) ? TFileKind::Folder
                  : S_ISLNK(st.st_mode) ? TFileKind::Link
                                        : TFileKind::Other;
    status.Mode = st.st_mode & 07777;
    status.Size = st.st_size;
    status.ModificationTime = st.st_mtime;
    status.Device = st.st_dev;
    return status;
  }

  void CreateFolder(const std::string& path) override {
    std::string p = WithoutTrailingDelimiter(path);
    Check(::mkdir(p.c_str(), 0777), p);
  }

  void RemoveFile(const std::string& path) override { Check(::unlink(path.c_str()), path); }

  void RemoveFolder(const std::string& path) override {
    std::string p = WithoutTrailingDelimiter(path);
    Check(::rmdir(p.c_str()), p);
  }

  void Rename(const std::string& from, const std::string& to) override {
    Check(::rename(WithoutTrailingDelimiter(from).c_str(), WithoutTrailingDelimiter(to).c_str()),
          to);
  }

  void Exchange(const std::string& a, const std::string& b) override {
    Check(::renameat2(AT_FDCWD, WithoutTrailingDelimiter(a).c_str(), AT_FDCWD,
                      WithoutTrailingDelimiter(b).c_str(), RENAME_EXCHANGE),
          b);
  }

  std::vector<std::string> Enumerate(const std::string& folder) override {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) throw EInOutError(SystemErrorFromErrno(errno, folder));
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    return names;
  }

  std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) override {
    return std::make_unique<TFileStream>(path, mode);
  }

  void SetMode(const std::string& path, uint32_t mode) override {
    Check(::chmod(path.c_str(), static_cast<mode_t>(mode)), path);
  }

  void SetModificationTime(const std::string& path, int64_t seconds) override {
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    Check(::utimensat(AT_FDCWD, path.c_str(), times, 0), path);
  }

  std::unique_ptr<TFileLock> LockFile(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw EInOutError(SystemErrorFromErrno(errno, path));
    auto lock = std::make_unique<TPosixFileLock>(fd);
    int result = 0;
    do {
      result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return lock;
    if (errno == EWOULDBLOCK) return nullptr;
    throw EInOutError(SystemErrorFromErrno(errno, path));
  }

  std::string CurrentFolder() override {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return "/";
    return IncludeTrailingPathDelimiter(buffer);
  }

  std::string CanonicalPath(const std::string& path) override {
    std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), ::free);
    return resolved ? std::string(resolved.get()) : std::string();
  }
};

}  // namespace

IFileSystem& SystemFileSystem() {
  static TPosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace varnel
