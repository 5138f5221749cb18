#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/FileAttributes.h"
#include "platform/Paths.h"

namespace varnel {

int64_t GetFileAttributes(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return faDirectory;
  return (st.st_mode & 0222) == 0 ? faReadOnly : faArchive;
}

bool SetFileAttributes(const std::string& path, uint32_t attr, bool unixMode) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  mode_t mode = st.st_mode & 0777;
  mode_t entryMode = attr >> 16;
  if (unixMode && entryMode != 0 && !S_ISLNK(entryMode)) mode = entryMode & 0777;
  if (attr & faReadOnly) {
    mode &= ~mode_t{0222};
  } else if (!unixMode || entryMode == 0 || S_ISLNK(entryMode)) {
    mode |= 0200;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

int32_t GetFileDosDateTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  struct tm t {};
  // A DOS date holds the years 1980 to 2107.
  if (::localtime_r(&st.st_mtime, &t) == nullptr || t.tm_year < 80 || t.tm_year > 207) {
    return -1;
  }
  uint32_t date = ((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday;
  uint32_t time = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2);
  return static_cast<int32_t>((date << 16) | time);
}

bool SetFileDosDateTime(const std::string& path, uint32_t dosDateTime) {
  uint32_t date = dosDateTime >> 16;
  uint32_t time = dosDateTime & 0xFFFF;
  struct tm t {};
  t.tm_year = static_cast<int>((date >> 9) + 80);
  t.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
  t.tm_mday = static_cast<int>(date & 31);
  t.tm_hour = static_cast<int>(time >> 11);
  t.tm_min = static_cast<int>((time >> 5) & 63);
  t.tm_sec = static_cast<int>((time & 31) * 2);
  t.tm_isdst = -1;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 ||
      t.tm_sec > 59) {
    return false;
  }
  time_t when = ::mktime(&t);
  if (when == static_cast<time_t>(-1)) return false;
  struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string GetCurrentDir() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return "/";
  return IncludeTrailingPathDelimiter(buffer);
}

}  // namespace varnel
