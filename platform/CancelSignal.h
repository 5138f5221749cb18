// A request to stop a running operation, made on one thread and seen on another: a flag for
// the places that look between steps, and a descriptor that becomes readable once the request
// is made, so that a wait on a socket can watch it beside the socket. Any thread may call any
// member; the owner keeps the signal alive until every waiter has returned.
#pragma once

#include <atomic>

#include "platform/Exception.h"

namespace varnel {

// Raised where a cancelled operation stops; silent like every abort.
VARNEL_EXCEPTION(EOperationCancelled, EAbort);

class TCancelSignal {
 public:
  TCancelSignal();
  ~TCancelSignal();
  TCancelSignal(const TCancelSignal&) = delete;
  TCancelSignal& operator=(const TCancelSignal&) = delete;

  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }
  // Raises EOperationCancelled once Cancel was called.
  void ThrowIfCancelled() const;
  // Waits up to timeoutMs (< 0: without limit); true once Cancel was called.
  bool Wait(int timeoutMs) const;
  // Readable from the first Cancel on; never read from, so it stays readable.
  int WaitDescriptor() const { return fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  int fd_ = -1;
};

}  // namespace varnel
