#include "actions/DeleteTree.h"

#include <filesystem>

namespace varnel {

namespace fs = std::filesystem;

namespace {

// Read-only means no write bits here, and a folder without its owner's write bit keeps its
// entries. Read-only folders are emptied like any other, so the owner's rights come back first.
void AllowOwnerChanges(const fs::path& folder) {
  std::error_code ec;
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
}

void DeleteContents(const fs::path& folder) {
  std::error_code ec;
  AllowOwnerChanges(folder);
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path entry = it->path();
    std::error_code entryEc;
    fs::file_status status = fs::symlink_status(entry, entryEc);
    if (!entryEc && fs::is_directory(status)) {
      DeleteContents(entry);
      fs::remove(entry, entryEc);
    } else {
      fs::remove(entry, entryEc);
    }
  }
}

}  // namespace

void DeleteTree(const std::string& folderPath) {
  std::string path = folderPath;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  std::error_code ec;
  if (path.empty() || !fs::is_directory(fs::symlink_status(path, ec))) return;
  DeleteContents(path);
}

}  // namespace varnel
