// TCP client sockets behind one interface, so the HTTP client can run over the real stack or
// over a scripted one in tests. Failures carry the socket error numbers the messages are keyed
// by (10061 for a refused connection, 11001 for an unknown host, ...), never a raw errno.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/Exception.h"

namespace varnel {

// A failed socket call. Number() is the socket error number; BindFailed() tells a failed bind
// of the local end apart, which callers report in a message of its own.
class ESocketCallError : public Exception {
 public:
  explicit ESocketCallError(int number, bool bindFailed = false)
      : Exception("socket error " + std::to_string(number)),
        number_(number),
        bindFailed_(bindFailed) {}
  int Number() const { return number_; }
  bool BindFailed() const { return bindFailed_; }
  const char* ClassName() const override { return "ESocketCallError"; }

 private:
  int number_;
  bool bindFailed_;
};

// A connect or a receive whose time limit ran out; the caller words the message.
VARNEL_EXCEPTION(ESocketTimedOut, Exception);

// One connected stream socket. Owns its handle; destruction closes it.
class ISocketConnection {
 public:
  virtual ~ISocketConnection() = default;
  // Sends some of the bytes and returns how many went out.
  virtual size_t Send(const void* data, size_t count) = 0;
  // Receives up to count bytes; 0 means the peer has closed its side. Waits at most timeoutMs
  // (< 0: without limit) for the first byte, then raises ESocketTimedOut.
  virtual size_t Receive(void* buffer, size_t count, int timeoutMs) = 0;
  // Waits until bytes (or a close) can be received; timeoutMs < 0 waits without limit.
  virtual bool WaitReadable(int timeoutMs) = 0;
  // Shuts down the sending side and closes the handle; further calls are no-ops.
  virtual void Close() = 0;
};

// Name resolution and connecting. The real stack is process-wide; tests supply their own.
class ISocketStack {
 public:
  virtual ~ISocketStack() = default;
  // The first address of the family for a name, as numeric text ("127.0.0.1", "::1").
  virtual std::string Resolve(const std::string& host, bool ipv6) = 0;
  // Binds a new socket to the wildcard address and port 0, then connects it. A timeoutMs > 0
  // bounds the connect (ESocketTimedOut); otherwise the system's own limit applies.
  virtual std::unique_ptr<ISocketConnection> Connect(const std::string& address, int port,
                                                     bool ipv6, int timeoutMs) = 0;
};

class TCancelSignal;

// A name lookup as ISocketStack::Resolve does it.
using TNameLookup = std::function<std::string(const std::string& host, bool ipv6)>;

ISocketStack& SystemSocketStack();
// The system stack, but every lookup, connect, send and wait for data also watches cancel and
// stops with EOperationCancelled once it is signalled. The lookup (the system's, or lookup
// when given) runs on a helper thread, so a resolver that never answers can't hold a cancel
// up; a cancelled lookup's thread finishes on its own and touches nothing of the caller's.
// REQUIRES: cancel outlives the stack and every connection made through it; lookup owns what
// it uses, as it may run on after the stack is gone.
std::unique_ptr<ISocketStack> CancellableSocketStack(const TCancelSignal& cancel,
                                                     TNameLookup lookup = {});

}  // namespace varnel
