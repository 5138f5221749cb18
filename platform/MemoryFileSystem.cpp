#include "platform/MemoryFileSystem.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kBadParameter = 87;
constexpr int kNotEmpty = 145;
constexpr int kAlreadyExists = 183;
constexpr int kCannotResolve = 1921;
constexpr int kMaxLinkDepth = 16;

std::string Child(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// True when path is absolute and already in resolved form: no empty, "." or ".." parts.
bool IsPlainAbsolute(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  if (path.size() == 1) return true;
  for (size_t start = 1; start <= path.size();) {
    size_t end = std::min(path.find('/', start), path.size());
    size_t length = end - start;
    if (length == 0 ||
        (path[start] == '.' && (length == 1 || (length == 2 && path[start + 1] == '.')))) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// True when path is inside folder (not folder itself).
bool IsInside(const std::string& path, const std::string& folder) {
  std::string prefix = folder == "/" ? "/" : folder + "/";
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

// A file's bytes; positions past the bytes held and below size read as zeros.
struct TMemoryFileSystem::TFileData {
  std::vector<uint8_t> bytes;
  int64_t size = 0;
  std::shared_ptr<int64_t> used;

  explicit TFileData(std::shared_ptr<int64_t> usedBytes) : used(std::move(usedBytes)) {}
  ~TFileData() { *used -= static_cast<int64_t>(bytes.size()); }
  void Cut(int64_t newSize) {
    if (static_cast<int64_t>(bytes.size()) > newSize) {
      *used -= static_cast<int64_t>(bytes.size()) - newSize;
      bytes.resize(static_cast<size_t>(newSize));
    }
    size = newSize;
  }
};

namespace {

class TMemoryFileStream : public TStream {
 public:
  TMemoryFileStream(std::shared_ptr<TMemoryFileSystem::TFileData> data, bool canRead, bool canWrite,
                    int64_t capacity)
      : data_(std::move(data)), canRead_(canRead), canWrite_(canWrite), capacity_(capacity) {}

  int64_t Read(void* buffer, int64_t count) override {
    if (!canRead_ || count <= 0) return 0;
    int64_t n = std::clamp<int64_t>(data_->size - position_, 0, count);
    int64_t held = std::clamp<int64_t>(static_cast<int64_t>(data_->bytes.size()) - position_, 0, n);
    if (held > 0) std::memcpy(buffer, data_->bytes.data() + position_, static_cast<size_t>(held));
    std::memset(static_cast<uint8_t*>(buffer) + held, 0, static_cast<size_t>(n - held));
    position_ += n;
    return n;
  }

  int64_t Write(const void* buffer, int64_t count) override {
    if (!canWrite_ || count <= 0) return 0;
    auto held = static_cast<int64_t>(data_->bytes.size());
    int64_t room = held + std::max<int64_t>(0, capacity_ - *data_->used) - position_;
    int64_t n = std::clamp<int64_t>(room, 0, count);
    if (n == 0) return 0;
    if (position_ + n > held) {
      data_->bytes.resize(static_cast<size_t>(position_ + n));
      *data_->used += position_ + n - held;
    }
    std::memcpy(data_->bytes.data() + position_, buffer, static_cast<size_t>(n));
    position_ += n;
    data_->size = std::max(data_->size, position_);
    return n;
  }

  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : data_->size;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }

  int64_t Size() override { return data_->size; }

  void SetSize(int64_t newSize) override {
    if (!canWrite_ || newSize < 0) throw EStreamError("Stream size error");
    data_->Cut(newSize);
  }

 private:
  std::shared_ptr<TMemoryFileSystem::TFileData> data_;
  int64_t position_ = 0;
  bool canRead_;
  bool canWrite_;
  int64_t capacity_;
};

// Holds one resolved path in the set of locked files.
class TMemoryFileLock : public TFileLock {
 public:
  TMemoryFileLock(std::shared_ptr<std::set<std::string>> locked, std::string path)
      : locked_(std::move(locked)), path_(std::move(path)) {
    locked_->insert(path_);
  }
  ~TMemoryFileLock() override { locked_->erase(path_); }

 private:
  std::shared_ptr<std::set<std::string>> locked_;
  std::string path_;
};

}  // namespace

TMemoryFileSystem::TMemoryFileSystem(int64_t capacity)
    : used_(std::make_shared<int64_t>(0)), capacity_(capacity) {
  Clear();
}

void TMemoryFileSystem::Clear() {
  nodes_.clear();
  nodes_["/"] = TNode{};
  hasLinks_ = false;
}

void TMemoryFileSystem::Fail(int systemError) {
  throw EInOutError(systemError);
}

std::string TMemoryFileSystem::Resolve(const std::string& path, bool followLast, int depth) const {
  if (depth > kMaxLinkDepth) Fail(kCannotResolve);
  // Without links a plain absolute path names itself; the fuzzer resolves thousands per second.
  if (!hasLinks_ && IsPlainAbsolute(path)) return path;
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string current = "/";
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string next = Child(current, parts[i]);
    auto it = nodes_.find(next);
    if (it != nodes_.end() && it->second.kind == TFileKind::Link &&
        (i + 1 < parts.size() || followLast)) {
      const std::string& target = it->second.target;
      next = Resolve(!target.empty() && target[0] == '/' ? target : Child(current, target), true,
                     depth + 1);
    }
    current = next;
  }
  return current;
}

TMemoryFileSystem::TNode* TMemoryFileSystem::Find(const std::string& resolved) {
  auto it = nodes_.find(resolved);
  return it == nodes_.end() ? nullptr : &it->second;
}

TMemoryFileSystem::TNode& TMemoryFileSystem::WritableParent(const std::string& resolved) {
  TNode* parent = Find(ExtractFileDir(resolved));
  if (!parent || parent->kind != TFileKind::Folder) Fail(kPathNotFound);
  if ((parent->mode & 0200) == 0) Fail(kAccessDenied);
  return *parent;
}

bool TMemoryFileSystem::HasChildren(const std::string& resolved) const {
  auto it = nodes_.upper_bound(resolved);
  for (; it != nodes_.end() && it->first.compare(0, resolved.size(), resolved) == 0; ++it) {
    if (IsInside(it->first, resolved)) return true;
  }
  return false;
}

TFileStatus TMemoryFileSystem::Status(const std::string& path, bool followLinks) {
  TFileStatus status;
  TNode* node = nullptr;
  try {
    node = Find(Resolve(path, followLinks));
  } catch (const EInOutError&) {
  }
  if (!node) return status;
  status.Kind = node->kind;
  status.Mode = node->mode;
  status.Size = node->data ? node->data->size : 0;
  status.ModificationTime = node->time;
  return status;
}

void TMemoryFileSystem::CreateFolder(const std::string& path) {
  std::string r = Resolve(path, false);
  if (Find(r)) Fail(kAlreadyExists);
  WritableParent(r);
  nodes_[r] = TNode{};
}

void TMemoryFileSystem::RemoveFile(const std::string& path) {
  std::string r = Resolve(path, false);
  TNode* node = Find(r);
  if (!node) Fail(Find(ExtractFileDir(r)) ? kFileNotFound : kPathNotFound);
  if (node->kind == TFileKind::Folder) Fail(kAccessDenied);
  WritableParent(r);
  nodes_.erase(r);
}

void TMemoryFileSystem::RemoveFolder(const std::string& path) {
  std::string r = Resolve(path, false);
  TNode* node = Find(r);
  if (!node) Fail(Find(ExtractFileDir(r)) ? kFileNotFound : kPathNotFound);
  if (node->kind != TFileKind::Folder) Fail(kPathNotFound);
  if (r == "/") Fail(kAccessDenied);
  if (HasChildren(r)) Fail(kNotEmpty);
  WritableParent(r);
  nodes_.erase(r);
}

void TMemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  std::string rf = Resolve(from, false);
  std::string rt = Resolve(to, false);
  TNode* source = Find(rf);
  if (!source) Fail(kFileNotFound);
  if (rf == rt) return;
  if (IsInside(rt, rf) || rf == "/") Fail(kBadParameter);
  WritableParent(rf);
  WritableParent(rt);
  if (TNode* target = Find(rt)) {
    bool sourceIsFolder = source->kind == TFileKind::Folder;
    if (sourceIsFolder != (target->kind == TFileKind::Folder)) {
      Fail(sourceIsFolder ? kPathNotFound : kAccessDenied);
    }
    if (HasChildren(rt)) Fail(kNotEmpty);
    nodes_.erase(rt);
  }
  std::vector<std::pair<std::string, TNode>> moved;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first != rf && !IsInside(it->first, rf)) {
      ++it;
      continue;
    }
    moved.emplace_back(rt + it->first.substr(rf.size()), std::move(it->second));
    it = nodes_.erase(it);
  }
  for (auto& [name, node] : moved) nodes_[name] = std::move(node);
}

void TMemoryFileSystem::Exchange(const std::string& a, const std::string& b) {
  std::string ra = Resolve(a, false);
  std::string rb = Resolve(b, false);
  if (!Find(ra) || !Find(rb)) Fail(kFileNotFound);
  if (ra == rb) return;
  if (IsInside(ra, rb) || IsInside(rb, ra)) Fail(kBadParameter);
  WritableParent(ra);
  WritableParent(rb);
  std::vector<std::pair<std::string, TNode>> moved;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    const std::string& key = it->first;
    if (key == ra || IsInside(key, ra)) {
      moved.emplace_back(rb + key.substr(ra.size()), std::move(it->second));
    } else if (key == rb || IsInside(key, rb)) {
      moved.emplace_back(ra + key.substr(rb.size()), std::move(it->second));
    } else {
      ++it;
      continue;
    }
    it = nodes_.erase(it);
  }
  for (auto& [name, node] : moved) nodes_[name] = std::move(node);
}

std::vector<std::string> TMemoryFileSystem::Enumerate(const std::string& folder) {
  std::string r = Resolve(folder, true);
  TNode* node = Find(r);
  if (!node) Fail(Find(ExtractFileDir(r)) ? kFileNotFound : kPathNotFound);
  if (node->kind != TFileKind::Folder) Fail(kPathNotFound);
  if ((node->mode & 0400) == 0) Fail(kAccessDenied);
  std::vector<std::string> names;
  size_t prefix = r == "/" ? 1 : r.size() + 1;
  for (auto it = nodes_.upper_bound(r); it != nodes_.end(); ++it) {
    if (it->first.compare(0, r.size(), r) != 0) break;
    if (IsInside(it->first, r) && it->first.find('/', prefix) == std::string::npos) {
      names.push_back(it->first.substr(prefix));
    }
  }
  return names;
}

std::unique_ptr<TStream> TMemoryFileSystem::OpenFile(const std::string& path, unsigned mode) {
  bool create = IsCreateMode(mode);
  bool createNew = (mode & 0xFF00) == fmCreateNew;
  try {
    std::string r = Resolve(path, !createNew);
    TNode* node = Find(r);
    if (node && createNew) Fail(kAlreadyExists);
    bool canWrite = create || (mode & 0x3) != fmOpenRead;
    bool canRead = create || (mode & 0x3) != fmOpenWrite;
    if (!node) {
      if (!create) Fail(Find(ExtractFileDir(r)) ? kFileNotFound : kPathNotFound);
      WritableParent(r);
      node = &nodes_[r];
      node->kind = TFileKind::File;
      node->mode = 0644;
      node->data = std::make_shared<TFileData>(used_);
    } else {
      if (node->kind != TFileKind::File) Fail(kAccessDenied);
      if ((canWrite && (node->mode & 0200) == 0) || (canRead && (node->mode & 0400) == 0)) {
        Fail(kAccessDenied);
      }
      if (create) node->data->Cut(0);
    }
    return std::make_unique<TMemoryFileStream>(node->data, canRead, canWrite, capacity_);
  } catch (const EInOutError& e) {
    std::string reason = SystemErrorMessage(e.ErrorCode());
    if (create) throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + path + "\". " + reason);
  }
}

void TMemoryFileSystem::SetMode(const std::string& path, uint32_t mode) {
  std::string r = Resolve(path, true);
  TNode* node = Find(r);
  if (!node) Fail(kFileNotFound);
  node->mode = mode & 07777;
}

void TMemoryFileSystem::SetModificationTime(const std::string& path, int64_t seconds) {
  std::string r = Resolve(path, true);
  TNode* node = Find(r);
  if (!node) Fail(kFileNotFound);
  node->time = seconds;
}

std::unique_ptr<TFileLock> TMemoryFileSystem::LockFile(const std::string& path) {
  if (!Status(path, true).Exists()) OpenFile(path, fmCreateNew);
  const std::string r = Resolve(path, true);
  if (locked_->contains(r)) return nullptr;
  return std::make_unique<TMemoryFileLock>(locked_, r);
}

std::string TMemoryFileSystem::CanonicalPath(const std::string& path) {
  try {
    std::string r = Resolve(path, true);
    return Find(r) ? r : std::string();
  } catch (const EInOutError&) {
    return {};
  }
}

void TMemoryFileSystem::CreateLink(const std::string& path, const std::string& target) {
  std::string r = Resolve(path, false);
  if (Find(r)) Fail(kAlreadyExists);
  WritableParent(r);
  TNode& node = nodes_[r];
  node.kind = TFileKind::Link;
  node.mode = 0777;
  hasLinks_ = true;
  node.target = target;
}

void TMemoryFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  OpenFile(path, fmCreate)->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

std::string TMemoryFileSystem::ReadFile(const std::string& path) {
  std::unique_ptr<TStream> file = OpenFile(path, fmOpenRead);
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  file->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::vector<std::string> TMemoryFileSystem::Listing() const {
  std::vector<std::string> paths;
  for (const auto& [name, node] : nodes_) {
    if (name == "/") continue;
    if (node.kind == TFileKind::Link) {
      paths.push_back(name + " -> " + node.target);
    } else {
      paths.push_back(node.kind == TFileKind::Folder ? name + "/" : name);
    }
  }
  return paths;
}

}  // namespace varnel
