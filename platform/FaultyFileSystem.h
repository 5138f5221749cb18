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

#include "platform/FileSystem.h"

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
};

class TFaultyFileSystem : public IFileSystem {
 public:
  explicit TFaultyFileSystem(IFileSystem& inner) : inner_(inner) {}

  // The n-th call of operation from now on (1: the next) fails with the system error number:
  // an open raises EFCreateError / EFOpenError with its text, a write writes nothing (a full
  // disk, whatever the number), a read reads nothing (as an I/O error ends a file read), the
  // others raise EInOutError.
  void FailNth(TFileOperation operation, int n, int systemError);
  // "open PATH", "write PATH", "mkdir PATH", "unlink PATH", "rmdir PATH", "rename FROM TO",
  // "exchange A B", "list PATH", "chmod PATH", "touch PATH"; a failed call ends in " !".
  const std::vector<std::string>& Calls() const { return calls_; }

  TFileStatus Status(const std::string& path, bool followLinks) override;
  void CreateFolder(const std::string& path) override;
  void RemoveFile(const std::string& path) override;
  void RemoveFolder(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Exchange(const std::string& a, const std::string& b) override;
  std::vector<std::string> Enumerate(const std::string& folder) override;
  std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) override;
  void SetMode(const std::string& path, uint32_t mode) override;
  void SetModificationTime(const std::string& path, int64_t seconds) override;
  std::string CurrentFolder() override { return inner_.CurrentFolder(); }
  std::string CanonicalPath(const std::string& path) override { return inner_.CanonicalPath(path); }

  // Counts the call and records it (a read only counts); true (with its error number) when it
  // is to fail.
  bool Fails(TFileOperation operation, const std::string& call, int& systemError);

 private:
  // Records the call and raises EInOutError when it is to fail.
  void Enter(TFileOperation operation, const std::string& call);

  struct TFault {
    TFileOperation operation;
    int remaining;
    int systemError;
  };
  IFileSystem& inner_;
  std::mutex mutex_;  // over faults_ and calls_
  std::vector<TFault> faults_;
  std::vector<std::string> calls_;
};

}  // namespace varnel
