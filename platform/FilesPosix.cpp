#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

}  // namespace varnel
