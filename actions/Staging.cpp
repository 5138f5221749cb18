#include "actions/Staging.h"

#include <cstring>
#include <set>
#include <vector>

#include "actions/DeleteTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr const char* kStagingRoot = ".varnel-staging/";
constexpr const char* kJobPrefix = "job-";
constexpr const char* kKeptPrefix = "kept-";
constexpr const char* kOldStagingRoot = ".staging/";
constexpr const char* kOldTempArchive = "temp.zip";
constexpr int kOtherDisk = 17;  // the system cannot move the file to a different disk drive
// What a file system without an atomic exchange answers it with: the parameter is incorrect
// (EINVAL), the request is not supported (ENOSYS, ENOTSUP).
constexpr int kNoExchange[] = {87, 50};

void DeleteFolder(IFileSystem& fileSystem, const std::string& folder) {
  DeleteTree(fileSystem, folder);
  RemoveDir(fileSystem, folder);
}

bool IsFolder(IFileSystem& fileSystem, const std::string& path) {
  return fileSystem.Status(path, false).Kind == TFileKind::Folder;
}

}  // namespace

// Renames and new folders in the order they were made, undone in reverse.
class TStagingFolder::TUndoLog {
 public:
  explicit TUndoLog(IFileSystem& fileSystem) : fileSystem_(fileSystem) {}

  void Move(const std::string& from, const std::string& to) {
    fileSystem_.Rename(from, to);
    steps_.push_back({from, to});
  }
  void CreateFolder(const std::string& path) {
    fileSystem_.CreateFolder(path);
    steps_.push_back({{}, path});
  }
  // Every step that can be undone is; false when a move could not be.
  bool Undo() {
    bool whole = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      if (step->from.empty()) {
        RemoveDir(fileSystem_, step->to);
        continue;
      }
      try {
        fileSystem_.Rename(step->to, step->from);
      } catch (const Exception&) {
        whole = false;
      }
    }
    steps_.clear();
    return whole;
  }

 private:
  struct TStep {
    std::string from;  // empty: a folder made at to
    std::string to;
  };
  IFileSystem& fileSystem_;
  std::vector<TStep> steps_;
};

namespace {

// Moves into newTree what oldTree holds and newTree does not; where both hold something of
// one name, the new one wins, and only two folders are looked into.
void MoveMissing(IFileSystem& fileSystem, auto& log, const std::string& oldTree,
                 const std::string& newTree) {
  std::set<std::string> present;
  for (const std::string& name : fileSystem.Enumerate(newTree)) present.insert(name);
  for (const std::string& name : fileSystem.Enumerate(oldTree)) {
    const std::string from = JoinPath(oldTree, name);
    const std::string to = JoinPath(newTree, name);
    if (!present.contains(name)) {
      log.Move(from, to);
    } else if (IsFolder(fileSystem, from) && IsFolder(fileSystem, to)) {
      MoveMissing(fileSystem, log, from, to);
    }
  }
}

bool HasNoExchange(const EInOutError& e) {
  for (int code : kNoExchange) {
    if (e.ErrorCode() == code) return true;
  }
  return false;
}

}  // namespace

TStagingFolder::TStagingFolder(IFileSystem& fileSystem, const std::string& dataDir)
    : fileSystem_(fileSystem), root_(dataDir + kStagingRoot) {
  if (!IsFolder(fileSystem_, root_)) MkDir(fileSystem_, root_);
  // A mount or a link in its place would make every rename into DataDir cross disks.
  if (fileSystem_.Status(root_, false).Device != fileSystem_.Status(dataDir, true).Device) {
    throw EInOutError(kOtherDisk);
  }
  path_ = CreateUniqueDir(fileSystem_, root_ + kJobPrefix);
}

TStagingFolder::~TStagingFolder() {
  if (!path_.empty()) DeleteFolder(fileSystem_, path_);
}

std::string TStagingFolder::ArchivePath() const {
  return path_ + "archive.zip";
}

std::string TStagingFolder::Tree() const {
  return path_ + "tree/";
}

std::string TStagingFolder::OwnFiles() {
  const std::string own = path_ + "own/";
  if (!IsFolder(fileSystem_, own)) MkDir(fileSystem_, own);
  return own;
}

void TStagingFolder::Restore(TUndoLog& log) {
  if (log.Undo()) return;
  // What could not be put back is all there is of it: the job folder stays, out of reach of
  // the clean-up at the next start.
  std::string kept = root_ + kKeptPrefix + path_.substr(root_.size() + strlen(kJobPrefix));
  try {
    fileSystem_.Rename(path_, kept);
  } catch (const Exception&) {
    kept = path_;
  }
  path_.clear();
  throw ERollbackError(
      "The old version could not be put back whole; the files missing from it are in \"" + kept +
      "\"");
}

void TStagingFolder::ReplaceFolder(const std::string& programFolder) {
  if (!IsFolder(fileSystem_, Tree())) return;
  const TFileStatus old = fileSystem_.Status(programFolder, false);
  if (!old.Exists()) {
    fileSystem_.Rename(Tree(), programFolder);
    return;
  }
  TUndoLog log(fileSystem_);
  try {
    if (old.Kind == TFileKind::Folder) MoveMissing(fileSystem_, log, programFolder, Tree());
    try {
      fileSystem_.Exchange(Tree(), programFolder);
      return;
    } catch (const EInOutError& e) {
      if (!HasNoExchange(e)) throw;
    }
    log.Move(programFolder, path_ + "old");
    log.Move(Tree(), programFolder);
  } catch (const Exception&) {
    Restore(log);
    throw;
  }
}

void TStagingFolder::MoveFilesInto(const std::string& dataDir, const std::string& lastFile) {
  TUndoLog log(fileSystem_);
  const std::string aside = path_ + "aside/";
  // Moves the file at source over target; what target held waits in aside.
  auto place = [&](const std::string& source, const std::string& target) {
    const TFileStatus replaced = fileSystem_.Status(target, false);
    if (replaced.Exists() && replaced.Kind != TFileKind::Folder) {
      if (asideCount_ == 0) MkDir(fileSystem_, aside);
      log.Move(target, aside + std::to_string(asideCount_++));
    }
    log.Move(source, target);
  };
  auto moveTree = [&](auto& self, const std::string& from, const std::string& to,
                      bool top) -> void {
    for (const std::string& name : fileSystem_.Enumerate(from)) {
      if (top && (name == lastFile || name.starts_with(kReservedNamePrefix))) continue;
      const std::string source = JoinPath(from, name);
      const std::string target = JoinPath(to, name);
      if (IsFolder(fileSystem_, source)) {
        if (!DirectoryExists(fileSystem_, target)) log.CreateFolder(target);
        self(self, source, target, false);
      } else {
        place(source, target);
      }
    }
  };
  try {
    if (IsFolder(fileSystem_, Tree())) moveTree(moveTree, Tree(), dataDir, true);  // none: empty
    if (IsFolder(fileSystem_, path_ + "own/")) {
      for (const std::string& name : fileSystem_.Enumerate(path_ + "own/")) {
        place(path_ + "own/" + name, JoinPath(dataDir, name));
      }
    }
    // The catalogue goes last, so it never names icons that are not there yet.
    const std::string last = JoinPath(Tree(), lastFile);
    if (fileSystem_.Status(last, false).Exists()) place(last, JoinPath(dataDir, lastFile));
  } catch (const Exception&) {
    Restore(log);
    throw;
  }
}

void RemoveStagingLeftovers(IFileSystem& fileSystem, const std::string& appDir,
                            const std::string& dataDir) {
  const std::string root = dataDir + kStagingRoot;
  if (IsFolder(fileSystem, root)) {
    for (const std::string& name : fileSystem.Enumerate(root)) {
      if (name.starts_with(kJobPrefix)) DeleteFolder(fileSystem, root + name);
    }
  }
  if (IsFolder(fileSystem, appDir + kOldStagingRoot)) {
    DeleteFolder(fileSystem, appDir + kOldStagingRoot);
  }
  DeleteFile(fileSystem, appDir + kOldTempArchive);
}

}  // namespace varnel
