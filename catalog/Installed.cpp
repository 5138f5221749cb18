#include "catalog/Installed.h"

#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

bool IsProgramFolderName(const std::string& name) {
  return IsPlainPathComponent(name) && !name.starts_with(kReservedNamePrefix);
}

bool IsProgramInstalled(IFileSystem& fileSystem, const std::string& dataDir,
                        const std::string& name) {
  return IsProgramFolderName(name) && DirectoryExists(fileSystem, JoinPath(dataDir, name));
}

}  // namespace varnel
