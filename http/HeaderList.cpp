#include "http/HeaderList.h"

#include <algorithm>
#include <cstddef>

#include "platform/Text.h"

namespace varnel {
namespace {

bool IsContinuation(const std::string& line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

}  // namespace

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

size_t THeaderList::Find(const std::string& name, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    size_t colon = lines_[i].find(':');
    if (colon != std::string::npos && SameText(lines_[i].substr(0, colon), name)) return i;
  }
  return lines_.size();
}

// The value is everything after the first ":", trimmed, so "Name:value" reads like
// "Name: value"; a value cut at a fixed offset would lose its first character there.
std::string THeaderList::ValueAt(size_t index) const {
  std::string value = Trim(lines_[index].substr(lines_[index].find(':') + 1));
  for (size_t i = index + 1; i < lines_.size() && IsContinuation(lines_[i]); ++i) {
    value += " " + Trim(lines_[i]);
  }
  return value;
}

std::string THeaderList::Values(const std::string& name) const {
  size_t i = Find(name);
  return i < lines_.size() ? ValueAt(i) : std::string();
}

std::vector<std::string> THeaderList::AllValues(const std::string& name) const {
  std::vector<std::string> values;
  for (size_t i = Find(name); i < lines_.size(); i = Find(name, i + 1))
    values.push_back(ValueAt(i));
  return values;
}

void THeaderList::SetValue(const std::string& name, const std::string& value) {
  size_t i = Find(name);
  if (i < lines_.size()) {
    size_t end = i + 1;
    while (end < lines_.size() && IsContinuation(lines_[end])) ++end;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
    if (value.empty()) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      lines_[i] = name + ": " + value;
    }
  } else if (!value.empty()) {
    lines_.push_back(name + ": " + value);
  }
}

}  // namespace varnel
