#include "catalog/Installed.h"

#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

bool IsProgramInstalled(IFileSystem& fileSystem, const std::string& dataDir,
                        const std::string& name) {
  return IsPlainPathComponent(name) && DirectoryExists(fileSystem, JoinPath(dataDir, name));
}

}  // namespace varnel
