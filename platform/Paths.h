// Path text helpers. Paths are native ("/" separated); folders handed around end in "/".
#pragma once

#include <string>
#include <string_view>

namespace varnel {

inline constexpr char kPathDelim = '/';

// a + "/" + b, with exactly one separator between them (b may be empty).
std::string JoinPath(std::string_view a, std::string_view b);
std::string IncludeTrailingPathDelimiter(std::string_view path);
// Everything up to and including the last "/" ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// The folder without its trailing "/" ("" when there is none).
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);

// True when name can be a folder name of its own: not empty, not "." or "..", and without
// "/", "\" or NUL. Catalogue names become folders only when this holds.
bool IsPlainPathComponent(std::string_view name);

}  // namespace varnel
