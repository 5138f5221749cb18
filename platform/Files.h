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

// The running executable's full path.
std::string ExecutablePath();

}  // namespace varnel
