#include "platform/HostLibraries.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

TEST(HostLibrariesTest, NamesEveryLibraryThatDoesNotLoad) {
  TempDir root;
  const std::pair<std::string, std::string> cases[] = {
      {"libc.so.6 libc6\nlibm.so.6\n", ""},
      {"libc.so.6 libc6\nlibvarnel-absent.so.7 varnel-absent\n\nlibvarnel-other.so.1\n",
       "Varnel Tools can't open its window: this system lacks libraries that it needs:\n"
       "  libvarnel-absent.so.7 (Debian package varnel-absent)\n"
       "  libvarnel-other.so.1\n"
       "Install them with the system's package manager, then start it again."},
  };
  for (const auto& [list, message] : cases) {
    WriteFile(root / "list", list);
    EXPECT_EQ(MissingHostLibraries(SystemFileSystem(), root / "list"), message) << list;
  }
  EXPECT_EQ(MissingHostLibraries(SystemFileSystem(), root / "none"), "") << "not a bundle";
}

}  // namespace
}  // namespace varnel::test
