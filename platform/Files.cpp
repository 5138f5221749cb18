#include "platform/Files.h"

#include <random>
#include <vector>

#include "platform/Exception.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

// Runs a raising file-system call as one that reports success.
template <typename F>
bool Succeeds(F call) {
  try {
    call();
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

}  // namespace

bool DirectoryExists(IFileSystem& fileSystem, const std::string& path) {
  return fileSystem.Status(path, true).Kind == TFileKind::Folder;
}

bool FileExists(IFileSystem& fileSystem, const std::string& path) {
  TFileStatus status = fileSystem.Status(path, true);
  return status.Exists() && status.Kind != TFileKind::Folder;
}

bool CreateDir(IFileSystem& fileSystem, const std::string& path) {
  return Succeeds([&] { fileSystem.CreateFolder(path); });
}

bool ForceDirectories(IFileSystem& fileSystem, const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  if (p.empty()) return false;
  // Walks up to the first folder that exists, then creates the missing ones downwards, so a
  // deep path costs no recursion.
  std::vector<std::string> missing;
  while (!p.empty() && !DirectoryExists(fileSystem, p)) {
    missing.push_back(p);
    std::string parent = ExtractFileDir(p);
    if (parent == p) break;
    p = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!CreateDir(fileSystem, *it) && !DirectoryExists(fileSystem, *it)) return false;
  }
  return true;
}

bool RemoveDir(IFileSystem& fileSystem, const std::string& path) {
  return Succeeds([&] { fileSystem.RemoveFolder(path); });
}

bool DeleteFile(IFileSystem& fileSystem, const std::string& path) {
  return Succeeds([&] { fileSystem.RemoveFile(path); });
}

void MkDir(IFileSystem& fileSystem, const std::string& path) {
  fileSystem.CreateFolder(path);
}

void RmDir(IFileSystem& fileSystem, const std::string& path) {
  fileSystem.RemoveFolder(path);
}

std::string ReadFileHead(IFileSystem& fileSystem, const std::string& path, size_t limit) {
  std::unique_ptr<TStream> file = fileSystem.OpenFile(path, fmOpenRead | fmShareDenyWrite);
  std::string text(limit, '\0');
  size_t size = 0;
  for (int64_t n; size < limit &&
                  (n = file->Read(text.data() + size, static_cast<int64_t>(limit - size))) > 0;) {
    size += static_cast<size_t>(n);
  }
  text.resize(size);
  return text;
}

void WriteTextFile(IFileSystem& fileSystem, const std::string& path, std::string_view text) {
  fileSystem.OpenFile(path, fmCreate)->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

std::string CreateUniqueDir(IFileSystem& fileSystem, const std::string& prefix) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (;;) {
    std::string path = prefix;
    for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
    try {
      fileSystem.CreateFolder(path);
      return path + kPathDelim;
    } catch (const EInOutError& e) {
      if (e.ErrorCode() != 183) throw;  // the name is taken: draw another
    }
  }
}

}  // namespace varnel
