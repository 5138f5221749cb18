// File-system operations the program needs, with errno translated to system error numbers.
// Functions named after a runtime routine that raises (MkDir, RmDir) throw EInOutError;
// the others report success as a bool, as the callers leave their results unexamined.
#pragma once

#include <string>

namespace varnel {

bool DirectoryExists(const std::string& path);  // a folder (or a link to one) is there
bool FileExists(const std::string& path);       // a non-folder is there
bool CreateDir(const std::string& path);
bool ForceDirectories(const std::string& path);  // creates every missing folder of the path
bool RemoveDir(const std::string& path);
bool DeleteFile(const std::string& path);
void MkDir(const std::string& path);  // EInOutError with the system error number on failure
void RmDir(const std::string& path);  // EInOutError with the system error number on failure

// Whatever is at path, a dangling link included (no final link is followed).
bool PathExists(const std::string& path);
// Each raises EInOutError with the system error number on failure.
void RenameFile(const std::string& from, const std::string& to);  // replaces a file at to
void ExchangePaths(const std::string& a, const std::string& b);   // both must exist; one step
// A new folder named prefix + six random characters; returns its path ending in "/".
std::string CreateUniqueDir(const std::string& prefix);

// Copies a file with its mode and last-write time, or a link as a link; to must not exist.
// Anything else (a pipe, a device) is not copied.
void CopyEntry(const std::string& from, const std::string& to);
// A new folder at to with the mode of the folder at from, plus the owner's rights.
void CopyFolderMode(const std::string& from, const std::string& to);

// The running executable's full path.
std::string ExecutablePath();

}  // namespace varnel
