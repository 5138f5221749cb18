// A URL split into its parts the way the client reads it: backslashes count as slashes, the
// query starts at the first "?" (or, without one, the first "="), and nothing is percent-coded.
#pragma once

#include <string>

namespace varnel {

enum TIPVersion { ipV4, ipV6 };

class TUri {
 public:
  TUri() = default;
  explicit TUri(const std::string& url);

  std::string Protocol;
  std::string Host;
  std::string Port;
  std::string Path;         // "/" up to and including the last "/"
  std::string LastSegment;  // after the last "/", without the fragment
  std::string Query;
  std::string Fragment;
  std::string Username;
  std::string Password;
  TIPVersion IPVersion = ipV4;
};

// The absolute URL a reference found in a response to base names, as a browser resolves a
// Location: a reference with a scheme stands as it is, "//host/p" takes base's scheme, "/p"
// base's scheme and authority, "?q" base's path too, and any other text is merged with the
// folder of base's path; "." and ".." segments go. Backslashes count as slashes, and a fragment
// is dropped, since it is never sent.
std::string ResolveReference(const std::string& base, const std::string& reference);

}  // namespace varnel
