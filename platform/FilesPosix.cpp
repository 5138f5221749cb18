#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

std::string WithoutTrailingDelimiter(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  return p;
}

}  // namespace

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  return ::mkdir(WithoutTrailingDelimiter(path).c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& path) {
  std::string p = WithoutTrailingDelimiter(path);
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::string parent = ExtractFileDir(p);
  if (!parent.empty() && parent != p && !ForceDirectories(parent)) return false;
  return CreateDir(p) || DirectoryExists(p);
}

bool RemoveDir(const std::string& path) {
  return ::rmdir(WithoutTrailingDelimiter(path).c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

void MkDir(const std::string& path) {
  std::string p = WithoutTrailingDelimiter(path);
  if (::mkdir(p.c_str(), 0777) != 0) throw EInOutError(SystemErrorFromErrno(errno, p));
}

void RmDir(const std::string& path) {
  std::string p = WithoutTrailingDelimiter(path);
  if (::rmdir(p.c_str()) != 0) throw EInOutError(SystemErrorFromErrno(errno, p));
}

namespace {

[[noreturn]] void RaiseInOut(const std::string& path) {
  throw EInOutError(SystemErrorFromErrno(errno, path));
}

class TDescriptor {
 public:
  explicit TDescriptor(int fd) : fd_(fd) {}
  ~TDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void RenameFile(const std::string& from, const std::string& to) {
  if (::rename(WithoutTrailingDelimiter(from).c_str(), WithoutTrailingDelimiter(to).c_str()) != 0)
    RaiseInOut(to);
}

void ExchangePaths(const std::string& a, const std::string& b) {
  if (::renameat2(AT_FDCWD, WithoutTrailingDelimiter(a).c_str(), AT_FDCWD,
                  WithoutTrailingDelimiter(b).c_str(), RENAME_EXCHANGE) != 0)
    RaiseInOut(b);
}

std::string CreateUniqueDir(const std::string& prefix) {
  std::string path = prefix + "XXXXXX";
  if (::mkdtemp(path.data()) == nullptr) RaiseInOut(prefix);
  return path + kPathDelim;
}

void CopyEntry(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) RaiseInOut(from);
  if (S_ISLNK(st.st_mode)) {
    std::vector<char> target(static_cast<size_t>(st.st_size) + 1);
    ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) RaiseInOut(from);
    if (::symlink(std::string(target.data(), static_cast<size_t>(n)).c_str(), to.c_str()) != 0)
      RaiseInOut(to);
    return;
  }
  if (!S_ISREG(st.st_mode)) return;
  TDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) RaiseInOut(from);
  TDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.Get() < 0) RaiseInOut(to);
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseInOut(from);
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.Get(), buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) RaiseInOut(to);
      done += w;
    }
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (::fchmod(out.Get(), st.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0)
    RaiseInOut(to);
}

void CopyFolderMode(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0) RaiseInOut(from);
  // The owner's rights are added, so that the copy can be filled.
  if (::mkdir(WithoutTrailingDelimiter(to).c_str(), 0700) != 0) RaiseInOut(to);
  if (::chmod(WithoutTrailingDelimiter(to).c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
    RaiseInOut(to);
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

}  // namespace varnel
