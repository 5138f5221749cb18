// Whether a program of the catalogue is installed: its folder exists in the data folder.
// Tested afresh on every call; nothing is cached.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

// True when name can be a program folder of its own in the data folder: one plain path
// component, and none of the names the program keeps there for itself (".varnel-" ...).
bool IsProgramFolderName(const std::string& name);

// True when dataDir + name is an existing folder and name is a program folder name, so that
// names such as "", "..", "a/b" or ".varnel-staging" never count as installed.
bool IsProgramInstalled(IFileSystem& fileSystem, const std::string& dataDir,
                        const std::string& name);

}  // namespace varnel
