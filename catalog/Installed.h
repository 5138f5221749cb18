// Whether a program of the catalogue is installed: its folder exists in the data folder.
// Tested afresh on every call; nothing is cached.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

// True when dataDir + name is an existing folder and name is one plain path component, so
// that names such as "", ".." or "a/b" never count as installed.
bool IsProgramInstalled(IFileSystem& fileSystem, const std::string& dataDir,
                        const std::string& name);

}  // namespace varnel
