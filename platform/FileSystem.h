// The one way to files and folders: status, folders, removal, renames, enumeration, streams,
// modes and times. The POSIX implementation is the only code that calls the OS for files;
// TMemoryFileSystem and TFaultyFileSystem stand in for it in tests and fuzzing. Callers own
// the file system they hand around. The system one holds no state and serves any thread (the
// window's and the commands' worker at once); a fake serves one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Streams.h"

namespace varnel {

enum class TFileKind { None, File, Folder, Link, Other };

struct TFileStatus {
  TFileKind Kind = TFileKind::None;  // None: nothing is there, or it can't be read
  uint32_t Mode = 0;                 // permission bits (0777)
  int64_t Size = 0;
  int64_t ModificationTime = 0;  // seconds since 1970-01-01 UTC
  uint64_t Device = 0;           // the file system it lives on: a rename works only within one

  bool Exists() const { return Kind != TFileKind::None; }
};

// An exclusive advisory lock on one file, held until the handle goes.
class TFileLock {
 public:
  virtual ~TFileLock() = default;
};

// Failures raise EInOutError with the system error number of the cause (errno translated
// once, in the implementation); OpenFile raises EFCreateError / EFOpenError as TFileStream.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // What is at path; without followLinks a final symbolic link is reported as a link.
  virtual TFileStatus Status(const std::string& path, bool followLinks) = 0;
  virtual void CreateFolder(const std::string& path) = 0;
  // Removes a file, or a symbolic link itself (its target is untouched).
  virtual void RemoveFile(const std::string& path) = 0;
  // Removes an empty folder.
  virtual void RemoveFolder(const std::string& path) = 0;
  // Moves from to to, replacing a file or an empty folder there.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Swaps two existing paths in one atomic step. Where the file system has no such step (FAT
  // and exFAT, NFS, SMB, overlayfs) it raises 87 (the parameter is incorrect) or 50 (not
  // supported).
  virtual void Exchange(const std::string& a, const std::string& b) = 0;
  // The names in folder, without "." and "..", in no particular order. No handle stays open.
  virtual std::vector<std::string> Enumerate(const std::string& folder) = 0;
  // Opens a file with TFileStream's modes (fmCreate, fmOpenRead, ...).
  virtual std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) = 0;
  // Sets the permission bits; a link passed here is followed, so callers check first.
  virtual void SetMode(const std::string& path, uint32_t mode) = 0;
  virtual void SetModificationTime(const std::string& path, int64_t seconds) = 0;
  // Creates path when missing and locks it without waiting; nullptr when another open of the
  // file holds the lock, in this process or another. Raises where the file system keeps no
  // such locks.
  virtual std::unique_ptr<TFileLock> LockFile(const std::string& path) = 0;
  // The process's current folder, ending in "/".
  virtual std::string CurrentFolder() = 0;
  // The absolute path with every link resolved; "" when some part is missing.
  virtual std::string CanonicalPath(const std::string& path) = 0;
};

// The real file system of the process.
IFileSystem& SystemFileSystem();

}  // namespace varnel
