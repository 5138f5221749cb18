// The desktop launcher of a program: a freedesktop .desktop file in the user's desktop folder.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace varnel {

// The launcher's text: Type=Application, Name, Exec with the program path quoted, Path = the
// program's folder, Icon = iconPath (left out when empty).
std::string DesktopEntryText(const std::string& programPath, const std::string& name,
                             const std::string& iconPath);

// Writes desktop folder + "/" + name + ".desktop" through fileSystem and makes it executable.
// The desktop folder lookup raises ERegistryException; a launcher that can't be written is not
// reported, as nothing examines the result of saving it.
void CreateDesktopShortcut(IFileSystem& fileSystem, const std::string& programPath,
                           const std::string& name, const std::string& iconPath);

}  // namespace varnel
