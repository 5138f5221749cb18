#include "actions/DeleteTree.h"

#include <vector>

#include "platform/Exception.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

// A folder being emptied: its entries as listed when the walk entered it.
struct TPendingFolder {
  std::string path;
  std::vector<std::string> names;
  size_t next = 0;
};

// Read-only means no write bits here, and a folder without its owner's write bit keeps its
// entries. Read-only folders are emptied like any other, so the owner's rights come back
// first; then the folder is listed in one go, which closes it again.
TPendingFolder Enter(IFileSystem& fileSystem, const std::string& folder) {
  TPendingFolder pending{folder, {}, 0};
  try {
    fileSystem.SetMode(folder, fileSystem.Status(folder, false).Mode | 0700);
  } catch (const EInOutError&) {
  }
  try {
    pending.names = fileSystem.Enumerate(folder);
  } catch (const EInOutError&) {
  }
  return pending;
}

}  // namespace

void DeleteTree(IFileSystem& fileSystem, const std::string& folderPath) {
  std::string path = folderPath;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || fileSystem.Status(path, false).Kind != TFileKind::Folder) return;
  // Depth first without recursion: the stack holds names, never open folders.
  std::vector<TPendingFolder> stack;
  stack.push_back(Enter(fileSystem, path));
  while (!stack.empty()) {
    TPendingFolder& top = stack.back();
    if (top.next == top.names.size()) {
      std::string done = std::move(top.path);
      stack.pop_back();
      if (!stack.empty()) {
        try {
          fileSystem.RemoveFolder(done);
        } catch (const EInOutError&) {
        }
      }
      continue;
    }
    std::string entry = JoinPath(top.path, top.names[top.next++]);
    if (fileSystem.Status(entry, false).Kind == TFileKind::Folder) {
      stack.push_back(Enter(fileSystem, entry));
      continue;
    }
    try {
      fileSystem.RemoveFile(entry);
    } catch (const EInOutError&) {
    }
  }
}

}  // namespace varnel
