// The shell stand-in: what the commands hand to the desktop (start a program, show a folder,
// open a web page). TPosixShell is the real one; tests put a recording fake in its place.
#pragma once

#include <string>

namespace varnel {

class IShell {
 public:
  virtual ~IShell() = default;
  // "open" of a file: a regular file with an execute bit is started detached with no working
  // folder set (it inherits ours); anything else goes to the desktop's opener. Failures are
  // not reported, as nobody examines them.
  virtual void Open(const std::string& path) = 0;
  // "explore": shows a folder in the file manager.
  virtual void Explore(const std::string& folder) = 0;
  // "open" of a web address.
  virtual void OpenUrl(const std::string& url) = 0;
};

class TPosixShell : public IShell {
 public:
  // opener: the program that opens anything that is not started directly; tests pass a
  // recorder script instead of the desktop's xdg-open.
  explicit TPosixShell(std::string opener = "xdg-open") : opener_(std::move(opener)) {}
  void Open(const std::string& path) override;
  void Explore(const std::string& folder) override;
  void OpenUrl(const std::string& url) override;

 private:
  std::string opener_;
};

// True when path names a regular file (links followed) that has an execute bit.
bool IsExecutableFile(const std::string& path);

}  // namespace varnel
