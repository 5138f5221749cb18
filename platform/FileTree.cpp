#include "platform/FileTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr int kFileNotFound = 2;

void AddTree(IFileSystem& fileSystem, const std::string& root, const std::string& relative,
             std::vector<TFileTreeEntry>& entries) {
  for (const std::string& name : ListFolder(fileSystem, JoinPath(root, relative))) {
    std::string path = relative.empty() ? name : relative + "/" + name;
    TFileTreeEntry entry = FileInfo(fileSystem, JoinPath(root, path));
    entry.RelativePath = path;
    entries.push_back(entry);
    if (entry.Kind == fkFolder) AddTree(fileSystem, root, path, entries);
  }
}

}  // namespace

std::vector<std::string> ListFolder(IFileSystem& fileSystem, const std::string& folder) {
  std::vector<std::string> names = fileSystem.Enumerate(folder);
  std::sort(names.begin(), names.end());
  return names;
}

TFileTreeEntry FileInfo(IFileSystem& fileSystem, const std::string& path) {
  const TFileStatus status = fileSystem.Status(path, false);
  TFileTreeEntry entry;
  entry.RelativePath = path;
  switch (status.Kind) {
    case TFileKind::None:
      throw EInOutError(kFileNotFound);
    case TFileKind::File:
      entry.Kind = fkFile;
      entry.Mode = S_IFREG | status.Mode;
      break;
    case TFileKind::Folder:
      entry.Kind = fkFolder;
      entry.Mode = S_IFDIR | status.Mode;
      break;
    case TFileKind::Link:
      entry.Kind = fkOther;
      entry.Mode = S_IFLNK | status.Mode;
      break;
    case TFileKind::Other:
      entry.Kind = fkOther;
      entry.Mode = status.Mode;
      break;
  }
  entry.ModifiedTime = status.ModificationTime;
  return entry;
}

std::vector<TFileTreeEntry> ListFileTree(IFileSystem& fileSystem, const std::string& folder) {
  std::vector<TFileTreeEntry> entries;
  AddTree(fileSystem, folder, "", entries);
  return entries;
}

TTempFile::TTempFile(IFileSystem& fileSystem) : fileSystem_(fileSystem) {
  const char* dir = std::getenv("TMPDIR");
  folder_ = CreateUniqueDir(fileSystem_, JoinPath(dir && *dir ? dir : "/tmp", "varnel-"));
  fileSystem_.SetMode(folder_, 0700);
  path_ = folder_ + "file";
  fileSystem_.OpenFile(path_, fmCreate);
}

TTempFile::~TTempFile() {
  try {
    if (fileSystem_.Status(path_, false).Exists()) fileSystem_.RemoveFile(path_);
    fileSystem_.RemoveFolder(folder_);
  } catch (const Exception&) {
  }
}

}  // namespace varnel
