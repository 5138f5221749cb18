// Header lines in the order they were received or set ("Name: value"). Lookups ignore case
// and take the first line of a name; lines after it that begin with a blank continue its value.
#pragma once

#include <string>
#include <vector>

namespace varnel {

class THeaderList {
 public:
  void Add(const std::string& line) { lines_.push_back(line); }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  size_t Count() const { return lines_.size(); }

  // The trimmed value of the first line with this name, continuation lines joined by a blank.
  std::string Values(const std::string& name) const;
  // The values of every line with this name.
  std::vector<std::string> AllValues(const std::string& name) const;
  // Replaces the first line of that name in place (dropping its continuation lines) or appends
  // one; an empty value removes the line.
  void SetValue(const std::string& name, const std::string& value);

 private:
  std::string ValueAt(size_t index) const;
  size_t Find(const std::string& name, size_t from = 0) const;

  std::vector<std::string> lines_;
};

std::string Trim(const std::string& text);
bool SameText(const std::string& a, const std::string& b);

}  // namespace varnel
