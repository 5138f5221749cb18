#include "actions/Staging.h"

#include <set>

#include "actions/DeleteTree.h"
#include "platform/FileTree.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr const char* kStagingRoot = ".staging/";

void DeleteFolder(const std::string& folder) {
  DeleteTree(folder);
  RemoveDir(folder);
}

// Copies into newTree what oldTree holds and newTree does not; where both hold something of
// one name, the new one wins, and only two folders are looked into.
void AddMissing(const std::string& oldTree, const std::string& newTree) {
  std::set<std::string> present;
  for (const std::string& name : ListFolder(newTree)) present.insert(name);
  for (const std::string& name : ListFolder(oldTree)) {
    const std::string from = JoinPath(oldTree, name);
    const std::string to = JoinPath(newTree, name);
    const bool folder = FileInfo(from).Kind == fkFolder;
    if (!present.contains(name)) {
      if (folder) {
        CopyFolderMode(from, to);
        AddMissing(from, to);
      } else {
        CopyEntry(from, to);
      }
    } else if (folder && FileInfo(to).Kind == fkFolder) {
      AddMissing(from, to);
    }
  }
}

void MoveFiles(const std::string& from, const std::string& to, const std::string& skip) {
  for (const std::string& name : ListFolder(from)) {
    const std::string source = JoinPath(from, name);
    const std::string target = JoinPath(to, name);
    if (FileInfo(source).Kind == fkFolder) {
      if (!ForceDirectories(target)) MkDir(target);  // raises the reason
      MoveFiles(source, target, {});
    } else if (name != skip) {
      RenameFile(source, target);
    }
  }
}

}  // namespace

TStagingFolder::TStagingFolder(const std::string& appDir) {
  const std::string root = appDir + kStagingRoot;
  if (!ForceDirectories(root)) MkDir(root);
  path_ = CreateUniqueDir(root + "job-");
}

TStagingFolder::~TStagingFolder() {
  DeleteFolder(path_);
}

std::string TStagingFolder::Tree() const {
  return path_ + "tree/";
}

void TStagingFolder::ReplaceFolder(const std::string& programFolder) {
  if (!DirectoryExists(Tree())) return;
  if (!PathExists(programFolder)) {
    RenameFile(Tree(), programFolder);
    return;
  }
  if (DirectoryExists(programFolder)) AddMissing(programFolder, Tree());
  ExchangePaths(Tree(), programFolder);
}

void TStagingFolder::MoveFilesInto(const std::string& dataDir, const std::string& lastFile) {
  if (!DirectoryExists(Tree())) return;
  MoveFiles(Tree(), dataDir, lastFile);
  if (PathExists(JoinPath(Tree(), lastFile))) {
    RenameFile(JoinPath(Tree(), lastFile), JoinPath(dataDir, lastFile));
  }
}

void RemoveStagingLeftovers(const std::string& appDir) {
  const std::string root = appDir + kStagingRoot;
  if (DirectoryExists(root)) DeleteFolder(root);
}

}  // namespace varnel
