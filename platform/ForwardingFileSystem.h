// Passes every call on to another file system it doesn't own; a wrapper overrides what it
// changes or watches. REQUIRES: the inner file system outlives the wrapper.
#pragma once

#include "platform/FileSystem.h"

namespace varnel {

class TForwardingFileSystem : public IFileSystem {
 public:
  explicit TForwardingFileSystem(IFileSystem& inner) : inner_(inner) {}

  TFileStatus Status(const std::string& path, bool followLinks) override {
    return inner_.Status(path, followLinks);
  }
  void CreateFolder(const std::string& path) override { inner_.CreateFolder(path); }
  void RemoveFile(const std::string& path) override { inner_.RemoveFile(path); }
  void RemoveFolder(const std::string& path) override { inner_.RemoveFolder(path); }
  void Rename(const std::string& from, const std::string& to) override { inner_.Rename(from, to); }
  void Exchange(const std::string& a, const std::string& b) override { inner_.Exchange(a, b); }
  std::vector<std::string> Enumerate(const std::string& folder) override {
    return inner_.Enumerate(folder);
  }
  std::unique_ptr<TStream> OpenFile(const std::string& path, unsigned mode) override {
    return inner_.OpenFile(path, mode);
  }
  void SetMode(const std::string& path, uint32_t mode) override { inner_.SetMode(path, mode); }
  void SetModificationTime(const std::string& path, int64_t seconds) override {
    inner_.SetModificationTime(path, seconds);
  }
  std::unique_ptr<TFileLock> LockFile(const std::string& path) override {
    return inner_.LockFile(path);
  }
  std::string CurrentFolder() override { return inner_.CurrentFolder(); }
  std::string CanonicalPath(const std::string& path) override { return inner_.CanonicalPath(path); }

 protected:
  IFileSystem& inner_;
};

}  // namespace varnel
