#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
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

void TCancelSignal::ThrowIfCancelled() const {
  if (Cancelled()) throw EOperationCancelled("Cancelled");
}

}  // namespace varnel
