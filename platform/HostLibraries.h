// The start check of the portable bundle: the shared libraries it leaves to the host are
// loaded once before the toolkit loads its plugins, since the toolkit's own failure to load
// one ("Could not load the Qt platform plugin") does not say which library is missing.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

// Where the bundle lists those libraries, beside the executable. Each line holds a library's
// file name and, after a blank, the Debian package that has it.
inline constexpr const char* kHostLibrariesList = "lib/host-libraries.txt";

// A message naming every library of the list at listPath that can't be loaded, or "" when all
// load or there is no list (a build that is not a bundle).
std::string MissingHostLibraries(IFileSystem& fileSystem, const std::string& listPath);

}  // namespace varnel
