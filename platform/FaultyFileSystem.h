// A file system that passes every call to another one and fails the calls it is told to: the
// n-th open with access denied, the n-th write with a full disk, the n-th removal with an I/O
// error, ... It records the calls that open or change something. The inner file system is the
// caller's and must outlive the wrapper and the streams it opened. One thread at a time, but
// for the counting of calls, which is under a lock: a stream may read on another thread (as
// the decode thread reads the archive) while the file system is used.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ForwardingFileSystem.h"

namespace varnel {

enum class TFileOperation {
  Open,
  Read,
  Write,
  CreateFolder,
  RemoveFile,
  RemoveFolder,
  Rename,
  Exchange,
  Enumerate,
  SetMode,
  SetTime,
  Lock,
};

class TFaultyFileSystem : public TForwardingFileSystem {
 public:
  explicit TFaultyFileSystem(IFileSystem& inner) : TForwardingFileSystem(inner) {}

  // The n-th call of operation from now on (1: the next) fails with the system error number:
  // an open raises EFCreateError / EFOpenError with its text, a write writes nothing (a full
  // disk, whatever the number), a read reads nothing (as an I/O error ends a file read), the
  // others raise EInOutError.
  void FailNth(TFileOperation operation, int n, int systemError);
  // Every call of operation fails from now on, as on a file system that lacks it: exFAT has
  // no atomic exchange (87) and refuses modes (5); a second disk refuses renames onto it (17).
  void FailAlways(TFileOperation operation, int systemError);
  // "open PATH", "write PATH", "mkdir PATH", "unlink PATH", "rmdir PATH", "rename FROM TO",
  // "exchange A B", "list PATH", "chmod PATH", "touch PATH", "lock PATH"; a failed call ends
  // in " !".
  const std::vector<std::string>& Calls() const { return calls_; }

  void CreateFolder(const std::string& path) override;
  void RemoveFile(const std::string& path) override;
  void RemoveFolder(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Exchange(const std::string& a, const std::string& b) override;
  std::vector<std::string> Enumerate(const std::string& folder) override;
  std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) override;
  void SetMode(const std::string& path, uint32_t mode) override;
  void SetModificationTime(const std::string& path, int64_t seconds) override;
  std::unique_ptr<TFileLock> LockFile(const std::string& path) override;

  // Counts the call and records it (a read only counts); true (with its error number) when it
  // is to fail.
  bool Fails(TFileOperation operation, const std::string& call, int& systemError);

 private:
  // Records the call and raises EInOutError when it is to fail.
  void Enter(TFileOperation operation, const std::string& call);

  struct TFault {
    TFileOperation operation;
    int remaining;  // calls until it fails; kAlways for every call
    int systemError;
  };
  static constexpr int kAlways = -1;
  std::mutex mutex_;  // over faults_ and calls_
  std::vector<TFault> faults_;
  std::vector<std::string> calls_;
};

}  // namespace varnel
