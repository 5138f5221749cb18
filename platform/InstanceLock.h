// Keeps a second instance of the program off one data folder while the first runs: an advisory
// lock on a file in the folder, or, where the file system keeps no locks, a file naming the
// process that owns the folder. The lock holds from construction to destruction; one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace varnel {

// Another instance of the program runs from the folder.
VARNEL_EXCEPTION(EInstanceRunning, Exception);

// The names the lock keeps in the folder, both reserved (kReservedNamePrefix).
inline constexpr const char* kInstanceLockFile = ".varnel-lock";
inline constexpr const char* kInstanceOwnerFile = ".varnel-owner";

class TInstanceLock {
 public:
  // Takes the lock of folder, which must exist; the file system must outlive the lock. Raises
  // EInstanceRunning when another process holds it. Where neither kind of lock can be made
  // (a read-only disk) it holds nothing: nothing can be changed there either.
  TInstanceLock(IFileSystem& fileSystem, const std::string& folder);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

 private:
  void TakeOwnerFile(const std::string& path);
  std::string ReadOwner(const std::string& path);

  IFileSystem& fileSystem_;
  std::unique_ptr<TFileLock> lock_;
  std::string ownerFile_;  // the owner file this process wrote; "" when it holds none
  std::string tag_;        // what it wrote there
};

// This process as an owner file names it: "<host> <pid> <start time>".
std::string ThisProcessTag();
// False when tag names a process of this machine that has ended (or its number was reused
// since), and when tag is no tag at all; a process of another machine counts as running.
bool ProcessTagAlive(const std::string& tag);

}  // namespace varnel
