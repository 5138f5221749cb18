// The shell stand-in: what the commands hand to the desktop (start a program, show a folder,
// open a web page). TPosixShell is the real one; tests put a recording fake in its place.
// Window thread only.
#pragma once

#include <string>

#include "platform/Exception.h"

namespace varnel {

// The desktop's opener could not be started, or refused the address at once.
VARNEL_EXCEPTION(EShellError, Exception);

class IShell {
 public:
  virtual ~IShell() = default;
  // "open" of a file: a regular file with an execute bit is started detached with no working
  // folder set (it inherits ours); anything else goes to the desktop's opener. Failures are
  // not reported, as nobody examines them.
  virtual void Open(const std::string& path) = 0;
  // "explore": shows a folder in the file manager. Raises EShellError when the opener can't
  // be started or fails at once.
  virtual void Explore(const std::string& folder) = 0;
  // "open" of a web address. Raises EShellError as Explore does.
  virtual void OpenUrl(const std::string& url) = 0;
};

// How long Explore and OpenUrl wait for the opener to fail. Openers that hand over to a
// running desktop end within a fraction of this; one still running then is taken as working
// (a plain opener may run the browser itself until it closes).
inline constexpr int kOpenerGraceMilliseconds = 1000;

class TPosixShell : public IShell {
 public:
  // opener: the program that opens anything that is not started directly; tests pass a
  // recorder script instead of the desktop's xdg-open.
  explicit TPosixShell(std::string opener = "xdg-open",
                       int graceMilliseconds = kOpenerGraceMilliseconds)
      : opener_(std::move(opener)), graceMilliseconds_(graceMilliseconds) {}
  void Open(const std::string& path) override;
  void Explore(const std::string& folder) override;
  void OpenUrl(const std::string& url) override;

 private:
  // Hands target to the opener and raises EShellError when it can't start or fails in time.
  void HandOver(const std::string& target);

  std::string opener_;
  int graceMilliseconds_;
};

// True when path names a regular file (links followed) that has an execute bit.
bool IsExecutableFile(const std::string& path);

}  // namespace varnel
