#include "platform/FileAttributes.h"

#include <ctime>

#include "platform/Exception.h"

namespace varnel {

namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixLink = 0120000;

}  // namespace

int64_t GetFileAttributes(IFileSystem& fileSystem, const std::string& path) {
  TFileStatus status = fileSystem.Status(path, false);
  if (!status.Exists()) return -1;
  if (status.Kind == TFileKind::Folder) return faDirectory;
  return (status.Mode & 0222) == 0 ? faReadOnly : faArchive;
}

bool SetFileAttributes(IFileSystem& fileSystem, const std::string& path, uint32_t attr,
                       bool unixMode) {
  TFileStatus status = fileSystem.Status(path, false);
  if (!status.Exists() || status.Kind == TFileKind::Link) return false;
  uint32_t mode = status.Mode & 0777;
  uint32_t entryMode = attr >> 16;
  if (unixMode && entryMode != 0 && (entryMode & kUnixTypeMask) != kUnixLink) {
    // An entry made on Unix: its mode alone decides, whatever the DOS read-only bit says.
    mode = entryMode & 0777;
  } else if (attr & faReadOnly) {
    mode &= ~uint32_t{0222};
  } else {
    mode |= 0200;
  }
  try {
    fileSystem.SetMode(path, mode);
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

int32_t GetFileDosDateTime(IFileSystem& fileSystem, const std::string& path) {
  TFileStatus status = fileSystem.Status(path, true);
  if (!status.Exists()) return -1;
  time_t when = static_cast<time_t>(status.ModificationTime);
  struct tm t {};
  // A DOS date holds the years 1980 to 2107.
  if (::localtime_r(&when, &t) == nullptr || t.tm_year < 80 || t.tm_year > 207) return -1;
  uint32_t date = ((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday;
  uint32_t time = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2);
  return static_cast<int32_t>((date << 16) | time);
}

bool SetFileDosDateTime(IFileSystem& fileSystem, const std::string& path, uint32_t dosDateTime) {
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
  try {
    fileSystem.SetModificationTime(path, when);
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

}  // namespace varnel
