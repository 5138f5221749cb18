#include "platform/FaultyFileSystem.h"

#include "platform/Exception.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

// Reads and writes go to the inner stream unless the file system says they fail.
class TFaultyStream : public TForwardingStream {
 public:
  TFaultyStream(std::unique_ptr<TStream> inner, TFaultyFileSystem& owner, std::string path)
      : TForwardingStream(*inner),
        inner_(std::move(inner)),
        owner_(owner),
        path_(std::move(path)) {}

  int64_t Read(void* buffer, int64_t count) override {
    int systemError = 0;
    if (owner_.Fails(TFileOperation::Read, {}, systemError)) return 0;
    return target_.Read(buffer, count);
  }
  int64_t Write(const void* buffer, int64_t count) override {
    int systemError = 0;
    if (owner_.Fails(TFileOperation::Write, "write " + path_, systemError)) return 0;
    return target_.Write(buffer, count);
  }

 private:
  std::unique_ptr<TStream> inner_;  // the target, owned
  TFaultyFileSystem& owner_;
  std::string path_;
};

}  // namespace

void TFaultyFileSystem::FailNth(TFileOperation operation, int n, int systemError) {
  std::lock_guard<std::mutex> hold(mutex_);
  faults_.push_back({operation, n, systemError});
}

void TFaultyFileSystem::FailAlways(TFileOperation operation, int systemError) {
  std::lock_guard<std::mutex> hold(mutex_);
  faults_.push_back({operation, kAlways, systemError});
}

bool TFaultyFileSystem::Fails(TFileOperation operation, const std::string& call, int& systemError) {
  std::lock_guard<std::mutex> hold(mutex_);
  bool fails = false;
  for (TFault& fault : faults_) {
    if (fault.operation != operation || fault.remaining == 0) continue;
    if ((fault.remaining == kAlways || --fault.remaining == 0) && !fails) {
      fails = true;
      systemError = fault.systemError;
    }
  }
  if (operation != TFileOperation::Read) calls_.push_back(fails ? call + " !" : call);
  return fails;
}

void TFaultyFileSystem::Enter(TFileOperation operation, const std::string& call) {
  int systemError = 0;
  if (Fails(operation, call, systemError)) throw EInOutError(systemError);
}

void TFaultyFileSystem::CreateFolder(const std::string& path) {
  Enter(TFileOperation::CreateFolder, "mkdir " + path);
  inner_.CreateFolder(path);
}

void TFaultyFileSystem::RemoveFile(const std::string& path) {
  Enter(TFileOperation::RemoveFile, "unlink " + path);
  inner_.RemoveFile(path);
}

void TFaultyFileSystem::RemoveFolder(const std::string& path) {
  Enter(TFileOperation::RemoveFolder, "rmdir " + path);
  inner_.RemoveFolder(path);
}

void TFaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  Enter(TFileOperation::Rename, "rename " + from + " " + to);
  inner_.Rename(from, to);
}

void TFaultyFileSystem::Exchange(const std::string& a, const std::string& b) {
  Enter(TFileOperation::Exchange, "exchange " + a + " " + b);
  inner_.Exchange(a, b);
}

std::vector<std::string> TFaultyFileSystem::Enumerate(const std::string& folder) {
  Enter(TFileOperation::Enumerate, "list " + folder);
  return inner_.Enumerate(folder);
}

std::unique_ptr<TStream> TFaultyFileSystem::OpenFile(const std::string& path, unsigned mode) {
  int systemError = 0;
  if (Fails(TFileOperation::Open, "open " + path, systemError)) {
    std::string reason = SystemErrorMessage(systemError);
    if (IsCreateMode(mode)) {
      throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
    }
    throw EFOpenError("Cannot open file \"" + path + "\". " + reason);
  }
  return std::make_unique<TFaultyStream>(inner_.OpenFile(path, mode), *this, path);
}

void TFaultyFileSystem::SetMode(const std::string& path, uint32_t mode) {
  Enter(TFileOperation::SetMode, "chmod " + path);
  inner_.SetMode(path, mode);
}

void TFaultyFileSystem::SetModificationTime(const std::string& path, int64_t seconds) {
  Enter(TFileOperation::SetTime, "touch " + path);
  inner_.SetModificationTime(path, seconds);
}

std::unique_ptr<TFileLock> TFaultyFileSystem::LockFile(const std::string& path) {
  Enter(TFileOperation::Lock, "lock " + path);
  return inner_.LockFile(path);
}

}  // namespace varnel
