#include <unistd.h>

#include <sstream>

#include "platform/Exception.h"
#include "platform/InstanceLock.h"
#include "platform/Streams.h"

namespace varnel {

namespace {

// The host name, or "-" when it can't be had.
std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "-";
  return name;
}

// The start time of process pid in clock ticks since boot (field 22 of /proc/PID/stat); ""
// when no such process runs.
std::string StartTime(long long pid) {
  std::string line(1024, '\0');
  try {
    TFileStream stat("/proc/" + std::to_string(pid) + "/stat", fmOpenRead);
    line.resize(static_cast<size_t>(stat.Read(line.data(), static_cast<int64_t>(line.size()))));
  } catch (const EStreamError&) {
    return {};
  }
  if (line.rfind(')') == std::string::npos) return {};
  // The command name in parentheses may hold blanks; the fields after it don't.
  std::istringstream fields(line.substr(line.rfind(')') + 1));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 22) return field;
  }
  return {};
}

}  // namespace

std::string ThisProcessTag() {
  const long long pid = ::getpid();
  return HostName() + " " + std::to_string(pid) + " " + StartTime(pid);
}

bool ProcessTagAlive(const std::string& tag) {
  std::istringstream fields(tag);
  std::string host, start;
  long long pid = 0;
  if (!(fields >> host >> pid >> start) || pid <= 0) return false;
  if (host != HostName()) return true;
  return StartTime(pid) == start;
}

}  // namespace varnel
