#include <dlfcn.h>

#include <sstream>

#include "platform/Files.h"
#include "platform/HostLibraries.h"

namespace varnel {

namespace {

constexpr size_t kMaxListBytes = 64 * 1024;

bool Loads(const std::string& library) {
  void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle != nullptr) ::dlclose(handle);
  return handle != nullptr;
}

}  // namespace

std::string MissingHostLibraries(IFileSystem& fileSystem, const std::string& listPath) {
  if (!FileExists(fileSystem, listPath)) return {};
  std::istringstream list(ReadFileHead(fileSystem, listPath, kMaxListBytes));
  std::string missing;
  for (std::string line; std::getline(list, line);) {
    std::string library;
    std::string package;
    std::istringstream(line) >> library >> package;
    if (library.empty() || Loads(library)) continue;
    missing += "  " + library + (package.empty() ? "" : " (Debian package " + package + ")") + "\n";
  }
  if (missing.empty()) return {};
  return "Varnel Tools can't open its window: this system lacks libraries that it needs:\n" +
         missing + "Install them with the system's package manager, then start it again.";
}

}  // namespace varnel
