// Where the user's desktop folder is: XDG_DESKTOP_DIR of the XDG user dirs file, else
// $HOME/Desktop. Failures keep the message forms of the system's per-user folder lookup.
#pragma once

#include <string>

#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace varnel {

VARNEL_EXCEPTION(ERegistryException, Exception);

// The desktop folder from the current environment ($HOME, $XDG_CONFIG_HOME), the user dirs
// file read through fileSystem.
std::string DesktopFolder(IFileSystem& fileSystem);

// The same from given values; an empty text means the variable is not set.
//   the user dirs file exists but can't be read  -> Folder key "<file>" not found
//   the value is empty, or $HOME is needed and unset -> "Desktop" item not found in registry
//   the value is not a quoted path ("/..." or "$HOME/...") -> Invalid data type for 'Desktop'
std::string DesktopFolderFrom(IFileSystem& fileSystem, const std::string& home,
                              const std::string& xdgConfigHome);

}  // namespace varnel
