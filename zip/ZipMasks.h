// File-mask matching of the extraction driver: "*" runs over any characters ("/" and "."
// included), "?" takes one, and ASCII letters compare without case.
#pragma once

#include <string>

namespace varnel {

bool WildcardMatch(std::u16string_view s, std::u16string_view p);
// The mask rules: the first "*.*" acts as "*", and a mask ending in "." takes names without
// an extension only.
bool MatchesMask(const std::string& name, const std::string& mask);

}  // namespace varnel
