#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/Exception.h"
#include "platform/FileTree.h"
#include "platform/Paths.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

[[noreturn]] void RaiseErrno(const std::string& path) {
  throw EInOutError(SystemErrorFromErrno(errno, path));
}

void AddTree(const std::string& root, const std::string& relative,
             std::vector<TFileTreeEntry>& entries) {
  for (const std::string& name : ListFolder(JoinPath(root, relative))) {
    TFileTreeEntry entry =
        FileInfo(JoinPath(root, relative.empty() ? name : relative + "/" + name));
    entry.RelativePath = relative.empty() ? name : relative + "/" + name;
    entries.push_back(entry);
    if (entry.Kind == fkFolder) AddTree(root, entry.RelativePath, entries);
  }
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) RaiseErrno(folder);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* item = ::readdir(dir.get())) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) RaiseErrno(folder);
  std::sort(names.begin(), names.end());
  return names;
}

TFileTreeEntry FileInfo(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) RaiseErrno(path);
  TFileTreeEntry entry;
  entry.RelativePath = path;
  entry.Kind = S_ISREG(st.st_mode) ? fkFile : S_ISDIR(st.st_mode) ? fkFolder : fkOther;
  entry.Mode = st.st_mode;
  entry.ModifiedTime = st.st_mtime;
  return entry;
}

std::vector<TFileTreeEntry> ListFileTree(const std::string& folder) {
  std::vector<TFileTreeEntry> entries;
  AddTree(folder, "", entries);
  return entries;
}

TTempFile::TTempFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = JoinPath(dir && *dir ? dir : "/tmp", "varnel-XXXXXX");
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) RaiseErrno(pattern);
  ::close(fd);
  path_ = pattern;
}

TTempFile::~TTempFile() {
  ::unlink(path_.c_str());
}

}  // namespace varnel
