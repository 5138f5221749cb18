#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/Shell.h"

namespace varnel {

namespace {

// Starts argv[0] (searched on PATH) in a grandchild of its own session, so it outlives us,
// never becomes our zombie and gets neither our descriptors nor our ignored SIGPIPE.
void SpawnDetached(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      ::signal(SIGPIPE, SIG_DFL);
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::close_range(3, ~0u, 0);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
    ::_exit(0);
  }
  if (child > 0) ::waitpid(child, nullptr, 0);
}

}  // namespace

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

void TPosixShell::Open(const std::string& path) {
  if (path.empty()) return;
  if (IsExecutableFile(path)) {
    // A name without "/" would be searched on PATH; the program meant is the file itself.
    SpawnDetached({path.find('/') == std::string::npos ? "./" + path : path});
  } else {
    SpawnDetached({opener_, path});
  }
}

void TPosixShell::Explore(const std::string& folder) {
  if (!folder.empty()) SpawnDetached({opener_, folder});
}

void TPosixShell::OpenUrl(const std::string& url) {
  if (!url.empty()) SpawnDetached({opener_, url});
}

}  // namespace varnel
