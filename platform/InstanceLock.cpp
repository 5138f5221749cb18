#include "platform/InstanceLock.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Streams.h"

namespace varnel {

namespace {

constexpr const char* kRunningMessage = "Varnel Tools is already running from this folder";
constexpr size_t kMaxTagLength = 512;

}  // namespace

TInstanceLock::TInstanceLock(IFileSystem& fileSystem, const std::string& folder)
    : fileSystem_(fileSystem) {
  try {
    lock_ = fileSystem_.LockFile(JoinPath(folder, kInstanceLockFile));
    if (!lock_) throw EInstanceRunning(kRunningMessage);
    return;
  } catch (const EInstanceRunning&) {
    throw;
  } catch (const Exception&) {
    // No advisory locks on this file system: the owner file stands in.
  }
  TakeOwnerFile(JoinPath(folder, kInstanceOwnerFile));
}

TInstanceLock::~TInstanceLock() {
  // Removed only while it still names this process, never a successor's.
  if (!ownerFile_.empty() && ReadOwner(ownerFile_) == tag_) DeleteFile(fileSystem_, ownerFile_);
}

void TInstanceLock::TakeOwnerFile(const std::string& path) {
  const std::string tag = ThisProcessTag();
  // The second round follows the removal of a file whose owner has ended.
  for (int round = 0; round < 2; ++round) {
    try {
      std::unique_ptr<TStream> file = fileSystem_.OpenFile(path, fmCreateNew);
      file->WriteBuffer(tag.data(), static_cast<int64_t>(tag.size()));
      ownerFile_ = path;
      tag_ = tag;
      return;
    } catch (const EStreamError&) {
    }
    if (!fileSystem_.Status(path, false).Exists()) return;  // can't be made: a read-only disk
    if (ProcessTagAlive(ReadOwner(path))) throw EInstanceRunning(kRunningMessage);
    if (!DeleteFile(fileSystem_, path)) return;
  }
}

std::string TInstanceLock::ReadOwner(const std::string& path) {
  try {
    return ReadFileHead(fileSystem_, path, kMaxTagLength);
  } catch (const EStreamError&) {
    return {};
  }
}

}  // namespace varnel
