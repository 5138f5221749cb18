#include "actions/Staging.h"

#include <set>

#include "actions/DeleteTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr const char* kStagingRoot = ".staging/";

void DeleteFolder(IFileSystem& fileSystem, const std::string& folder) {
  DeleteTree(fileSystem, folder);
  RemoveDir(fileSystem, folder);
}

bool IsFolder(IFileSystem& fileSystem, const std::string& path) {
  return fileSystem.Status(path, false).Kind == TFileKind::Folder;
}

// Copies into newTree the files oldTree holds and newTree does not; where both hold something
// of one name, the new one wins, and only two folders are looked into. Links and special
// files of the old version are not carried over.
void AddMissing(IFileSystem& fileSystem, const std::string& oldTree, const std::string& newTree) {
  std::set<std::string> present;
  for (const std::string& name : fileSystem.Enumerate(newTree)) present.insert(name);
  for (const std::string& name : fileSystem.Enumerate(oldTree)) {
    const std::string from = JoinPath(oldTree, name);
    const std::string to = JoinPath(newTree, name);
    const TFileStatus status = fileSystem.Status(from, false);
    if (!present.contains(name)) {
      if (status.Kind == TFileKind::Folder) {
        // The owner's rights are added, so that the copy can be filled.
        fileSystem.CreateFolder(to);
        fileSystem.SetMode(to, status.Mode | 0700);
        AddMissing(fileSystem, from, to);
      } else if (status.Kind == TFileKind::File) {
        CopyFileWithMode(fileSystem, from, to);
      }
    } else if (status.Kind == TFileKind::Folder && IsFolder(fileSystem, to)) {
      AddMissing(fileSystem, from, to);
    }
  }
}

void MoveFiles(IFileSystem& fileSystem, const std::string& from, const std::string& to,
               const std::string& skip) {
  for (const std::string& name : fileSystem.Enumerate(from)) {
    const std::string source = JoinPath(from, name);
    const std::string target = JoinPath(to, name);
    if (IsFolder(fileSystem, source)) {
      if (!ForceDirectories(fileSystem, target)) MkDir(fileSystem, target);  // raises the reason
      MoveFiles(fileSystem, source, target, {});
    } else if (name != skip) {
      fileSystem.Rename(source, target);
    }
  }
}

}  // namespace

TStagingFolder::TStagingFolder(IFileSystem& fileSystem, const std::string& appDir)
    : fileSystem_(fileSystem) {
  const std::string root = appDir + kStagingRoot;
  if (!ForceDirectories(fileSystem_, root)) MkDir(fileSystem_, root);
  path_ = CreateUniqueDir(fileSystem_, root + "job-");
}

TStagingFolder::~TStagingFolder() {
  DeleteFolder(fileSystem_, path_);
}

std::string TStagingFolder::Tree() const {
  return path_ + "tree/";
}

void TStagingFolder::ReplaceFolder(const std::string& programFolder) {
  if (!IsFolder(fileSystem_, Tree())) return;
  if (!fileSystem_.Status(programFolder, false).Exists()) {
    fileSystem_.Rename(Tree(), programFolder);
    return;
  }
  if (DirectoryExists(fileSystem_, programFolder)) AddMissing(fileSystem_, programFolder, Tree());
  fileSystem_.Exchange(Tree(), programFolder);
}

void TStagingFolder::MoveFilesInto(const std::string& dataDir, const std::string& lastFile) {
  if (!IsFolder(fileSystem_, Tree())) return;
  MoveFiles(fileSystem_, Tree(), dataDir, lastFile);
  const std::string last = JoinPath(Tree(), lastFile);
  if (fileSystem_.Status(last, false).Exists()) {
    fileSystem_.Rename(last, JoinPath(dataDir, lastFile));
  }
}

void RemoveStagingLeftovers(IFileSystem& fileSystem, const std::string& appDir) {
  const std::string root = appDir + kStagingRoot;
  if (IsFolder(fileSystem, root)) DeleteFolder(fileSystem, root);
}

}  // namespace varnel
