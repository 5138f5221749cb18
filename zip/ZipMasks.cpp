#include "zip/ZipMasks.h"

#include "platform/Text.h"

namespace varnel {

namespace {

bool HasNoExtension(std::u16string_view name) {
  size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return true;
  std::u16string_view ext = name.substr(dot);
  // A dot inside a folder part ("a.b\c") is no extension; "/" does not end one here.
  if (ext.find_first_of(u"\\:") != std::u16string_view::npos) return true;
  return ext.empty() || ext == u".";
}

}  // namespace

bool WildcardMatch(std::u16string_view s, std::u16string_view p) {
  if (p == u"*.*") return true;
  while (true) {
    if (p == u"*") return true;
    if (s.empty()) return p.empty();
    if (p.empty()) return false;
    if (p.front() == u'*') {
      std::u16string_view rest = p.substr(1);
      for (size_t k = 0; k < s.size(); ++k) {
        if (WildcardMatch(s.substr(k), rest)) return true;
      }
      return false;
    }
    if (p.front() != u'?' && AsciiLower(p.front()) != AsciiLower(s.front())) return false;
    s.remove_prefix(1);
    p.remove_prefix(1);
  }
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty()) return false;
  std::u16string m = Utf8ToUtf16(mask);
  std::u16string n = Utf8ToUtf16(name);
  bool dotMask = m.back() == u'.';
  size_t star = m.find(u"*.*");
  if (star != std::u16string::npos) m.erase(star + 1, 2);  // "*.*" becomes "*"
  if (dotMask && !m.empty()) m.pop_back();
  if (!n.empty() && n.back() == u'.') n.pop_back();
  bool result = WildcardMatch(n, m);
  if (result && dotMask) result = HasNoExtension(n);
  return result;
}

}  // namespace varnel
