#include "http/Uri.h"

#include <algorithm>

namespace varnel {
namespace {

// Cuts the query off text: after the first "?", else after the first "="; the separator goes.
std::string SplitQuery(std::string& text) {
  size_t at = text.find('?');
  if (at == std::string::npos) at = text.find('=');
  if (at == std::string::npos) return {};
  std::string query = text.substr(at + 1);
  text.erase(at);
  return query;
}

}  // namespace

TUri::TUri(const std::string& url) {
  std::string text = url;
  std::replace(text.begin(), text.end(), '\\', '/');
  std::string rest;
  size_t scheme = text.find("://");
  if (scheme == std::string::npos) {
    Query = SplitQuery(text);
    size_t slash = text.rfind('/');
    Path = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
    rest = slash == std::string::npos ? text : text.substr(slash + 1);
  } else {
    Protocol = text.substr(0, scheme);
    text.erase(0, scheme + 3);
    Query = SplitQuery(text);
    size_t slash = text.find('/');
    std::string authority = text.substr(0, slash);
    text = slash == std::string::npos ? std::string() : text.substr(slash + 1);

    size_t at = authority.find('@');
    if (at != std::string::npos) {
      std::string userInfo = authority.substr(0, at);
      size_t colon = userInfo.find(':');
      Username = userInfo.substr(0, colon);
      if (colon != std::string::npos && !Username.empty()) Password = userInfo.substr(colon + 1);
      authority.erase(0, at + 1);
    }
    size_t open = authority.find('[');
    size_t close = authority.find(']');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      Host = authority.substr(open + 1, close - open - 1);
      IPVersion = ipV6;
      size_t colon = authority.find(':', close);
      if (colon != std::string::npos) Port = authority.substr(colon + 1);
    } else {
      size_t colon = authority.find(':');
      Host = authority.substr(0, colon);
      if (colon != std::string::npos) Port = authority.substr(colon + 1);
    }
    size_t lastSlash = text.rfind('/');
    Path = lastSlash == std::string::npos ? "/" : "/" + text.substr(0, lastSlash + 1);
    rest = lastSlash == std::string::npos ? text : text.substr(lastSlash + 1);
  }
  size_t hash = rest.find('#');
  LastSegment = rest.substr(0, hash);
  if (hash != std::string::npos) Fragment = rest.substr(hash + 1);
}

}  // namespace varnel
