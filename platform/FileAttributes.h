// File attributes and times in the system's terms on top of the Unix file mode: read-only is
// "no write bits", folders carry 0x10, and times are DOS date-times in local time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace varnel {

enum : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
};

// The attributes of what is at path without following a final symbolic link, or -1 when
// nothing is there or it can't be read.
int64_t GetFileAttributes(IFileSystem& fileSystem, const std::string& path);
// Read-only clears every write bit, otherwise the owner may write. With unixMode, the high
// 16 bits of attr are a Unix mode: its permission bits alone are applied, without setuid,
// setgid and sticky (a symbolic link's mode is ignored: links are only ever written as plain
// files). False when nothing is there, it is a link, or the mode can't be set.
bool SetFileAttributes(IFileSystem& fileSystem, const std::string& path, uint32_t attr,
                       bool unixMode);
// SetFileAttributes for a regular file the caller has just created: a Unix mode in attr is
// applied without reading the file's mode first, and not at all when the file was created
// with it (createdMode: its permission bits, or -1 when unknown).
bool SetNewFileAttributes(IFileSystem& fileSystem, const std::string& path, uint32_t attr,
                          bool unixMode, int64_t createdMode = -1);
// Last-write time as a DOS date-time (date in the high 16 bits), -1 when it can't be read.
int32_t GetFileDosDateTime(IFileSystem& fileSystem, const std::string& path);

// Turns DOS date-times, taken as local time, into seconds since 1970 UTC with mktime's results,
// but reads the zone only when made or reloaded, where mktime reads it at every call when TZ
// is unset. Meant for one run of many conversions; one thread at a time.
class TLocalTimeZone {
 public:
  TLocalTimeZone() { Reload(); }
  // Takes the process's zone (TZ or the system's) as it is now.
  void Reload();
  // False for a date-time that names no real moment.
  bool ToUnixTime(uint32_t dosDateTime, int64_t& seconds);

 private:
  int64_t offset_ = 0;  // local minus UTC seconds at the last conversion
};

// Sets the last-write time from a DOS date-time taken as local time; false for a date-time
// that names no real moment or when the time can't be set.
bool SetFileDosDateTime(IFileSystem& fileSystem, const std::string& path, uint32_t dosDateTime,
                        TLocalTimeZone& zone);

}  // namespace varnel
