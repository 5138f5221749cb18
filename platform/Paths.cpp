#include "platform/Paths.h"

namespace varnel {

std::string JoinPath(std::string_view a, std::string_view b) {
  std::string result = IncludeTrailingPathDelimiter(a);
  while (!b.empty() && b.front() == kPathDelim) b.remove_prefix(1);
  result.append(b);
  return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != kPathDelim) result.push_back(kPathDelim);
  return result;
}

std::string ExtractFilePath(std::string_view path) {
  size_t slash = path.rfind(kPathDelim);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileDir(std::string_view path) {
  size_t slash = path.rfind(kPathDelim);
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string ExtractFileName(std::string_view path) {
  size_t slash = path.rfind(kPathDelim);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsPlainPathComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace varnel
