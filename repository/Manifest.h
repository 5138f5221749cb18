// A program's manifest in a repository source folder: a small TOML file a maintainer edits by
// hand, read with toml++. Plain data and one reading function.
#pragma once

#include <string>

namespace varnel {

// name, executable and icon are required; description and web-page may be left out.
struct TProgramManifest {
  std::string Name;        // the program's catalogue name and folder name
  std::string Executable;  // relative to the program folder, "/"-separated
  std::string Description;
  std::string WebPage;
  std::string Icon;  // the icon file, relative to the source folder
};

// Raises ERepositoryError "<path>:<line>: <reason>" for a file that isn't TOML, and
// "<path>: <reason>" for a missing or empty required key, a value that isn't a one-line
// string, or a key it doesn't know (a misspelt key must not pass unnoticed).
TProgramManifest ReadManifest(const std::string& path);

}  // namespace varnel
