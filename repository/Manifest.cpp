#include "repository/Manifest.h"

#include <toml++/toml.h>

#include <string_view>
#include <utility>

#include "catalog/RepositoryLines.h"
#include "repository/RepositoryError.h"

namespace varnel {

TProgramManifest ReadManifest(const std::string& path) {
  const std::string text = ReadWholeFile(path);
  toml::table table;
  try {
    table = toml::parse(std::string_view(text), std::string_view(path));
  } catch (const toml::parse_error& e) {
    throw ERepositoryError(path + ":" + std::to_string(e.source().begin.line) + ": " +
                           std::string(e.description()));
  }
  TProgramManifest manifest;
  const std::pair<const char*, std::string*> keys[] = {
      {"name", &manifest.Name},
      {"executable", &manifest.Executable},
      {"description", &manifest.Description},
      {"web-page", &manifest.WebPage},
      {"icon", &manifest.Icon},
  };
  for (const auto& [key, node] : table) {
    bool known = false;
    for (const auto& [name, field] : keys) {
      if (key.str() != name) continue;
      known = true;
      const std::optional<std::string> value = node.value<std::string>();
      // Each value becomes one catalogue line.
      if (!value || value->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        throw ERepositoryError(path + ": \"" + name + "\" must be a string of one line");
      }
      *field = *value;
    }
    if (!known) throw ERepositoryError(path + ": unknown key \"" + std::string(key.str()) + "\"");
  }
  for (const char* required : {"name", "executable", "icon"}) {
    for (const auto& [name, field] : keys) {
      if (std::string_view(name) == required && field->empty()) {
        throw ERepositoryError(path + ": \"" + name + "\" is missing");
      }
    }
  }
  return manifest;
}

}  // namespace varnel
