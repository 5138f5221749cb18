#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "platform/Shell.h"
#include "platform/SysErrors.h"

namespace varnel {

namespace {

// What the spawned program did within the grace time, as its parent in the middle reports it.
struct TSpawnReport {
  char kind;  // 'E': exec failed with errno value; 'X': ended with wait status value;
              // 'R': still running when the grace time was up
  int value;
};

void WriteReport(int fd, char kind, int value) {
  const TSpawnReport report{kind, value};
  // One small write: it reaches the pipe whole or not at all, and nothing waits on a failure.
  if (::write(fd, &report, sizeof report) < 0) return;
}

// Waits up to graceMilliseconds for child (whose SIGCHLD is blocked) and reports how it ended.
void ReportEnd(pid_t child, int graceMilliseconds, int reportFd) {
  sigset_t childSignal;
  ::sigemptyset(&childSignal);
  ::sigaddset(&childSignal, SIGCHLD);
  timespec deadline{};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += graceMilliseconds / 1000;
  deadline.tv_nsec += (graceMilliseconds % 1000) * 1000000L;
  for (;;) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return WriteReport(reportFd, 'X', status);
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    long long left = (deadline.tv_sec - now.tv_sec) * 1000000000LL + deadline.tv_nsec - now.tv_nsec;
    if (left <= 0) return WriteReport(reportFd, 'R', 0);
    const timespec wait{static_cast<time_t>(left / 1000000000LL),
                        static_cast<long>(left % 1000000000LL)};
    ::sigtimedwait(&childSignal, nullptr, &wait);
  }
}

// Starts argv[0] (searched on PATH) in a grandchild of its own session, so it outlives us,
// never becomes our zombie and gets neither our descriptors nor our ignored SIGPIPE. With a
// grace time, returns whether the start failed, the program ended (and how) or it still runs
// once the time is up; without one, returns at once and reports nothing.
std::vector<TSpawnReport> SpawnDetached(std::vector<std::string> argv, int graceMilliseconds) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  int pipeEnds[2] = {-1, -1};
  const bool watch = graceMilliseconds > 0 && ::pipe2(pipeEnds, O_CLOEXEC) == 0;
  const int reportFd = watch ? pipeEnds[1] : -1;
  pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    ::signal(SIGCHLD, SIG_DFL);  // so that the program's end can be waited for
    sigset_t childSignal;
    ::sigemptyset(&childSignal);
    ::sigaddset(&childSignal, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &childSignal, nullptr);
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::signal(SIGPIPE, SIG_DFL);
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      // Everything but the report pipe, which closes by itself when the program starts.
      if (reportFd < 0) {
        ::close_range(3, ~0u, 0);
      } else {
        if (reportFd > 3) ::close_range(3, static_cast<unsigned>(reportFd) - 1, 0);
        ::close_range(static_cast<unsigned>(reportFd) + 1, ~0u, 0);
      }
      ::execvp(args[0], args.data());
      if (reportFd >= 0) WriteReport(reportFd, 'E', errno);
      ::_exit(127);
    }
    if (reportFd >= 0) {
      if (grandchild < 0) {
        WriteReport(reportFd, 'E', errno);
      } else {
        ReportEnd(grandchild, graceMilliseconds, reportFd);
      }
    }
    ::_exit(0);
  }
  std::vector<TSpawnReport> reports;
  if (watch) {
    ::close(pipeEnds[1]);
    if (child < 0) reports.push_back({'E', errno});
    TSpawnReport report{};
    // Ends once the middle parent has reported and the program has started or given up.
    while (child > 0) {
      const ssize_t got = ::read(pipeEnds[0], &report, sizeof report);
      if (got < 0 && errno == EINTR) continue;
      if (got != sizeof report) break;
      reports.push_back(report);
    }
    ::close(pipeEnds[0]);
  }
  if (child > 0) ::waitpid(child, nullptr, 0);
  return reports;
}

// What xdg-open's exit codes mean.
std::string OpenerExitMeaning(int code) {
  switch (code) {
    case 2:
      return " (it does not exist)";
    case 3:
      return " (no program to open it was found)";
    case 4:
      return " (the program that opens it failed)";
    default:
      return "";
  }
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
    SpawnDetached({path.find('/') == std::string::npos ? "./" + path : path}, 0);
  } else {
    SpawnDetached({opener_, path}, 0);
  }
}

void TPosixShell::Explore(const std::string& folder) {
  if (!folder.empty()) HandOver(folder);
}

void TPosixShell::OpenUrl(const std::string& url) {
  if (!url.empty()) HandOver(url);
}

void TPosixShell::HandOver(const std::string& target) {
  const std::string failed = "Can't open \"" + target + "\": ";
  for (const TSpawnReport& report : SpawnDetached({opener_, target}, graceMilliseconds_)) {
    if (report.kind == 'E' && report.value == ENOENT) {
      throw EShellError(failed + opener_ + ", which hands it to the desktop, is not installed");
    }
    if (report.kind == 'E') {
      throw EShellError(failed + opener_ + " could not be started (" +
                        SystemErrorMessage(SystemErrorFromErrno(report.value)) + ")");
    }
    if (report.kind == 'X' && WIFSIGNALED(report.value)) {
      throw EShellError(failed + opener_ + " was ended by signal " +
                        std::to_string(WTERMSIG(report.value)));
    }
    if (report.kind == 'X' && WEXITSTATUS(report.value) != 0) {
      const int code = WEXITSTATUS(report.value);
      throw EShellError(failed + opener_ + " failed with exit code " + std::to_string(code) +
                        OpenerExitMeaning(code));
    }
  }
}

}  // namespace varnel
