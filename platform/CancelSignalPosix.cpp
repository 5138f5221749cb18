#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/CancelSignal.h"
#include "platform/SysErrors.h"

namespace varnel {

TCancelSignal::TCancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw EInOutError(SystemErrorFromErrno(errno));
}

TCancelSignal::~TCancelSignal() {
  ::close(fd_);
}

void TCancelSignal::Cancel() {
  if (cancelled_.exchange(true)) return;
  const uint64_t one = 1;
  // The counter can't overflow from one write, so the write can't fail.
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

bool TCancelSignal::Wait(int timeoutMs) const {
  const auto start = std::chrono::steady_clock::now();
  for (int left = timeoutMs; !Cancelled();) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, left) == 0) break;
    if (timeoutMs >= 0) {
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      left = std::max(0, timeoutMs - static_cast<int>(waited.count()));
    }
  }
  return Cancelled();
}

void TCancelSignal::ThrowIfCancelled() const {
  if (Cancelled()) throw EOperationCancelled("Cancelled");
}

}  // namespace varnel
