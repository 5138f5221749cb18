// Deletes everything inside a folder and leaves the folder itself. Failures inside are not
// reported: what can't be deleted stays and the walk goes on.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

// Read-only files and folders, hidden entries and nested folders all go. A symbolic link is
// removed as a link: the walk never follows one, so nothing outside folderPath is touched.
// A trailing "/" on folderPath makes no difference; a folderPath that is itself a link is
// left alone. The walk keeps no folder open between calls, so any depth can be deleted.
void DeleteTree(IFileSystem& fileSystem, const std::string& folderPath);

}  // namespace varnel
