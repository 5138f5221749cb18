// File-system helpers in the runtime's terms, on top of a file system the caller passes.
// Functions named after a runtime routine that raises (MkDir, RmDir) throw EInOutError;
// the others report success as a bool, as the callers leave their results unexamined.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace varnel {

// Names in the data folder that begin with this are the program's own (its instance lock, its
// staging folder), never a program's folder.
inline constexpr const char* kReservedNamePrefix = ".varnel-";

bool DirectoryExists(IFileSystem& fileSystem,
                     const std::string& path);                      // a folder (or a link to one)
bool FileExists(IFileSystem& fileSystem, const std::string& path);  // a non-folder is there
bool CreateDir(IFileSystem& fileSystem, const std::string& path);
// Creates every missing folder of the path.
bool ForceDirectories(IFileSystem& fileSystem, const std::string& path);
bool RemoveDir(IFileSystem& fileSystem, const std::string& path);
bool DeleteFile(IFileSystem& fileSystem, const std::string& path);
void MkDir(IFileSystem& fileSystem, const std::string& path);  // EInOutError on failure
void RmDir(IFileSystem& fileSystem, const std::string& path);  // EInOutError on failure

// The first limit bytes of a file, fewer when it is shorter; raises EFOpenError or a read
// error.
std::string ReadFileHead(IFileSystem& fileSystem, const std::string& path, size_t limit);
// Creates (or empties) path and writes text into it; raises EFCreateError or EWriteError.
void WriteTextFile(IFileSystem& fileSystem, const std::string& path, std::string_view text);

// A new folder named prefix + six random characters; returns its path ending in "/".
std::string CreateUniqueDir(IFileSystem& fileSystem, const std::string& prefix);

// The running executable's full path.
std::string ExecutablePath();

}  // namespace varnel
