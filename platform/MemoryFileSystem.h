// A file system held in memory, for tests and fuzzing: folders, files (sparse, so a huge size
// costs nothing until written), symbolic links and permission bits, with POSIX rules for
// what may be created, removed, renamed and opened. Owns its tree; streams it hands out share
// a file's bytes and may outlive the file's name. One thread at a time; a stream that only
// reads may be used on another thread meanwhile, while its file is left unchanged.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/FileSystem.h"

namespace varnel {

class TMemoryFileSystem : public IFileSystem {
 public:
  // capacity bounds the bytes all files may hold; a write past it is short, as on a full disk.
  explicit TMemoryFileSystem(int64_t capacity = int64_t{1} << 30);

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
  std::unique_ptr<TFileLock> LockFile(const std::string& path) override;
  std::string CurrentFolder() override { return "/"; }
  std::string CanonicalPath(const std::string& path) override;

  // Test set-up: a link at path naming target (as written), and a file's whole content.
  void CreateLink(const std::string& path, const std::string& target);
  void WriteFile(const std::string& path, const std::string& bytes);
  std::string ReadFile(const std::string& path);
  // Every path in the tree below "/" ("/a", "/a/b", ...), in order; links end in " -> target".
  std::vector<std::string> Listing() const;
  // Forgets everything but the root folder.
  void Clear();

  struct TFileData;

 private:
  struct TNode {
    TFileKind kind = TFileKind::Folder;
    uint32_t mode = 0755;
    int64_t time = 0;
    std::shared_ptr<TFileData> data;  // files
    std::string target;               // links
  };

  // The absolute form of path with "." and empty parts removed; links resolved in every part
  // but the last, and in the last too with followLast.
  std::string Resolve(const std::string& path, bool followLast, int depth = 0) const;
  TNode* Find(const std::string& resolved);
  // The folder that holds resolved, checked for a change of its entries.
  TNode& WritableParent(const std::string& resolved);
  bool HasChildren(const std::string& resolved) const;
  [[noreturn]] static void Fail(int systemError);

  std::map<std::string, TNode> nodes_;  // by resolved path; "/" is the root
  bool hasLinks_ = false;               // set by CreateLink, cleared by Clear
  std::shared_ptr<int64_t> used_;       // bytes held by all files, shared with their streams
  // Resolved paths of the files locked, shared with the locks.
  std::shared_ptr<std::set<std::string>> locked_ = std::make_shared<std::set<std::string>>();
  int64_t capacity_;
};

}  // namespace varnel
