// Reading a folder tree for the repository tool, and a scratch file that removes itself, both
// through a file system the caller owns. Plain functions and one RAII type; any thread the
// file system serves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace varnel {

enum TTreeEntryKind { fkFile, fkFolder, fkOther };  // fkOther: a link, a device, a pipe, ...

struct TFileTreeEntry {
  std::string RelativePath;  // "/"-separated, without a trailing "/"
  TTreeEntryKind Kind = fkFile;
  uint32_t Mode = 0;         // the Unix mode, type bits included
  int64_t ModifiedTime = 0;  // seconds since 1970
};

// The names in folder (not "." and ".."), sorted by their bytes. Raises EInOutError.
std::vector<std::string> ListFolder(IFileSystem& fileSystem, const std::string& folder);
// What lies at path without following a final link; raises EInOutError when nothing does.
TFileTreeEntry FileInfo(IFileSystem& fileSystem, const std::string& path);
// Everything below folder, each folder before its contents, names sorted by their bytes; links
// are reported and never followed. Raises EInOutError.
std::vector<TFileTreeEntry> ListFileTree(IFileSystem& fileSystem, const std::string& folder);

// A new empty file in a private folder of its own in the temporary folder ($TMPDIR or /tmp);
// both are deleted on destruction.
class TTempFile {
 public:
  explicit TTempFile(IFileSystem& fileSystem = SystemFileSystem());
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::string& Path() const { return path_; }

 private:
  IFileSystem& fileSystem_;
  std::string folder_;
  std::string path_;
};

}  // namespace varnel
