#include "platform/DesktopFolder.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr const char* kValueName = "Desktop";
constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";

std::string ItemNotFound() {
  return std::string("\"") + kValueName + "\" item not found in registry";
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// The raw value of the last XDG_DESKTOP_DIR line, or nothing when the file has none.
std::optional<std::string> ReadDesktopEntry(IFileSystem& fileSystem, const std::string& file) {
  TFileStatus status = fileSystem.Status(file, true);
  if (!status.Exists()) return std::nullopt;
  const std::string keyNotFound = "Folder key \"" + file + "\" not found";
  if (status.Kind == TFileKind::Folder) throw ERegistryException(keyNotFound);
  std::string text;
  try {
    std::unique_ptr<TStream> in = fileSystem.OpenFile(file, fmOpenRead);
    text.resize(static_cast<size_t>(in->Size()));
    in->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  } catch (const Exception&) {
    throw ERegistryException(keyNotFound);
  }
  std::optional<std::string> value;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && line.compare(start, kKey.size(), kKey) == 0) {
      value = line.substr(start + kKey.size());
    }
  }
  return value;
}

// The file is shell text: inside the quotes a backslash takes the next character literally.
std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

}  // namespace

std::string DesktopFolderFrom(IFileSystem& fileSystem, const std::string& home,
                              const std::string& xdgConfigHome) {
  std::string configHome = xdgConfigHome;
  if (configHome.empty() || configHome.front() != '/') {
    configHome = home.empty() ? std::string() : JoinPath(home, ".config");
  }
  std::optional<std::string> raw;
  if (!configHome.empty())
    raw = ReadDesktopEntry(fileSystem, JoinPath(configHome, "user-dirs.dirs"));
  if (!raw) {
    if (home.empty()) throw ERegistryException(ItemNotFound());
    return JoinPath(home, "Desktop");
  }
  std::string value = *raw;
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
    throw ERegistryException(std::string("Invalid data type for '") + kValueName + "'");
  }
  value = value.substr(1, value.size() - 2);
  if (value.empty()) throw ERegistryException(ItemNotFound());
  if (value == "$HOME" || value.starts_with("$HOME/")) {
    if (home.empty()) throw ERegistryException(ItemNotFound());
    return home + Unescape(std::string_view(value).substr(5));
  }
  if (value.front() != '/') {
    throw ERegistryException(std::string("Invalid data type for '") + kValueName + "'");
  }
  return Unescape(value);
}

std::string DesktopFolder(IFileSystem& fileSystem) {
  return DesktopFolderFrom(fileSystem, Env("HOME"), Env("XDG_CONFIG_HOME"));
}

}  // namespace varnel
