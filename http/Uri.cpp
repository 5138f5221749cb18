#include "http/Uri.h"

#include <algorithm>
#include <cctype>
#include <vector>

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

// scheme ":" followed by anything: a letter, then letters, digits, "+", "-" or ".".
bool HasScheme(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 ||
      !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

// The path with its "." and ".." segments applied; ".." never climbs above the root.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> segments;
  size_t start = 1;  // every path handled here begins with "/"
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string segment = path.substr(start, slash - start);
    const bool last = slash == std::string::npos;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      if (last) segments.emplace_back();
    } else if (segment == ".") {
      if (last) segments.emplace_back();
    } else {
      segments.push_back(segment);
    }
    if (last) break;
    start = slash + 1;
  }
  std::string result;
  for (const std::string& segment : segments) result += "/" + segment;
  return result.empty() ? "/" : result;
}

}  // namespace

std::string ResolveReference(const std::string& base, const std::string& reference) {
  std::string ref = reference;
  std::replace(ref.begin(), ref.end(), '\\', '/');
  ref = ref.substr(0, ref.find('#'));
  std::string from = base.substr(0, base.find('#'));
  std::replace(from.begin(), from.end(), '\\', '/');
  if (HasScheme(ref)) return ref;
  const size_t schemeEnd = from.find("://");
  const std::string scheme = from.substr(0, schemeEnd);
  if (ref.starts_with("//")) return scheme + ":" + ref;
  const size_t pathStart = std::min(from.find_first_of("/?", schemeEnd + 3), from.size());
  const std::string origin = from.substr(0, pathStart);
  const size_t queryStart = std::min(from.find('?', pathStart), from.size());
  std::string path = from.substr(pathStart, queryStart - pathStart);
  if (path.empty()) path = "/";
  if (ref.empty()) return from;
  if (ref[0] == '?') return origin + path + ref;
  const size_t refQuery = std::min(ref.find('?'), ref.size());
  std::string refPath = ref.substr(0, refQuery);
  if (refPath.empty() || refPath[0] != '/') refPath = path.substr(0, path.rfind('/') + 1) + refPath;
  return origin + RemoveDotSegments(refPath) + ref.substr(refQuery);
}

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
