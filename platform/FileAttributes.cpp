#include "platform/FileAttributes.h"

#include <ctime>

#include "platform/Exception.h"

namespace varnel {

namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixLink = 0120000;
// Local-time offsets of the zone database differ by up to 26 hours, so a time whose offset is
// the same two days before and after has no other moment with the same local fields.
constexpr int64_t kOffsetReach = 2 * 86400;

// The permission bits an entry made on Unix carries in the high 16 bits of attr, or -1.
int64_t UnixPermissions(uint32_t attr, bool unixMode) {
  uint32_t entryMode = attr >> 16;
  if (!unixMode || entryMode == 0 || (entryMode & kUnixTypeMask) == kUnixLink) return -1;
  return entryMode & 0777;
}

bool SetMode(IFileSystem& fileSystem, const std::string& path, uint32_t mode) {
  try {
    fileSystem.SetMode(path, mode);
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

// Days from 1970-01-01 to the first of month (1 to 12) of year, in the proleptic Gregorian
// calendar.
int64_t DaysToMonth(int64_t year, int64_t month) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The fields of t as seconds since 1970 counted as if they were UTC.
int64_t FieldSeconds(const struct tm& t) {
  return (DaysToMonth(t.tm_year + 1900LL, t.tm_mon + 1) + t.tm_mday - 1) * 86400 +
         t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

// Local minus UTC seconds at when, leap seconds of the zone included; false when unknown.
bool OffsetAt(int64_t when, int64_t& offset) {
  time_t t = static_cast<time_t>(when);
  struct tm local {};
  if (::localtime_r(&t, &local) == nullptr) return false;
  offset = FieldSeconds(local) - when;
  return true;
}

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
  if (int64_t permissions = UnixPermissions(attr, unixMode); permissions >= 0) {
    // An entry made on Unix: its mode alone decides, whatever the DOS read-only bit says.
    mode = static_cast<uint32_t>(permissions);
  } else if (attr & faReadOnly) {
    mode &= ~uint32_t{0222};
  } else {
    mode |= 0200;
  }
  return mode == (status.Mode & 0777) || SetMode(fileSystem, path, mode);
}

bool SetNewFileAttributes(IFileSystem& fileSystem, const std::string& path, uint32_t attr,
                          bool unixMode, int64_t createdMode) {
  int64_t permissions = UnixPermissions(attr, unixMode);
  if (permissions < 0) return SetFileAttributes(fileSystem, path, attr, unixMode);
  return permissions == createdMode ||
         SetMode(fileSystem, path, static_cast<uint32_t>(permissions));
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

void TLocalTimeZone::Reload() {
  ::tzset();
  offset_ = 0;
}

bool TLocalTimeZone::ToUnixTime(uint32_t dosDateTime, int64_t& seconds) {
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
  // localtime_r keeps the zone it has read; mktime would read it again. A day past the
  // month's end counts on into the next month, as in mktime.
  int64_t local = FieldSeconds(t);
  for (int attempt = 0; attempt < 2; ++attempt) {
    int64_t when = local - offset_;
    int64_t at = 0, before = 0, after = 0;
    if (!OffsetAt(when, at)) break;
    if (at == offset_ && OffsetAt(when - kOffsetReach, before) && before == at &&
        OffsetAt(when + kOffsetReach, after) && after == at) {
      seconds = when;
      return true;
    }
    offset_ = at;
  }
  // Near a change of offset the local time may name no moment or two: mktime decides.
  time_t when = ::mktime(&t);
  if (when == static_cast<time_t>(-1)) return false;
  seconds = when;
  return true;
}

bool SetFileDosDateTime(IFileSystem& fileSystem, const std::string& path, uint32_t dosDateTime,
                        TLocalTimeZone& zone) {
  int64_t when = 0;
  if (!zone.ToUnixTime(dosDateTime, when)) return false;
  try {
    fileSystem.SetModificationTime(path, when);
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

}  // namespace varnel
