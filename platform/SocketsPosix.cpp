#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/CancelSignal.h"
#include "platform/Sockets.h"

namespace varnel {
namespace {

// errno by meaning onto the socket error numbers of the messages.
int SocketErrorFromErrno(int err) {
  switch (err) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return 10022;
  }
}

[[noreturn]] void RaiseErrno(int err) {
  throw ESocketCallError(SocketErrorFromErrno(err));
}

int LookupErrorNumber(int code, int err) {
  switch (code) {
    case EAI_AGAIN:
      return 11002;
    case EAI_BADFLAGS:
      return 10022;
    case EAI_FAIL:
      return 11003;
    case EAI_FAMILY:
      return 10047;
    case EAI_MEMORY:
      return 8;
    case EAI_NODATA:
      return 11004;
    case EAI_NONAME:
      return 11001;
    case EAI_SERVICE:
      return 10109;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_ADDRFAMILY:
      return 0;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(err);
    default:
      return code;
  }
}

// Waits until fd is ready for events or timeoutMs has passed (< 0: no limit); false on the
// timeout. A signalled cancel ends the wait with EOperationCancelled.
bool WaitFor(int fd, short events, const TCancelSignal* cancel, int timeoutMs) {
  pollfd p[2] = {{fd, events, 0}, {cancel ? cancel->WaitDescriptor() : -1, POLLIN, 0}};
  for (;;) {
    int n = ::poll(p, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (n < 0 && errno != EINTR) RaiseErrno(errno);
    if (cancel) cancel->ThrowIfCancelled();
    if (n >= 0) return n > 0;
  }
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK;
}

// The socket never blocks: each call tries its transfer first and waits (watching the cancel
// signal) only when the socket has nothing to give or no room, so a busy transfer costs one
// system call per piece.
class PosixConnection : public ISocketConnection {
 public:
  PosixConnection(int fd, const TCancelSignal* cancel) : fd_(fd), cancel_(cancel) {}
  ~PosixConnection() override { Close(); }

  size_t Send(const void* data, size_t count) override {
    for (;;) {
      if (cancel_) cancel_->ThrowIfCancelled();
      ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL);  // a closed peer must not end the process
      if (n >= 0) return static_cast<size_t>(n);
      if (WouldBlock(errno)) {
        WaitFor(fd_, POLLOUT, cancel_, -1);
      } else if (errno != EINTR) {
        RaiseErrno(errno);
      }
    }
  }

  size_t Receive(void* buffer, size_t count, int timeoutMs) override {
    for (;;) {
      if (cancel_) cancel_->ThrowIfCancelled();
      ssize_t n = ::recv(fd_, buffer, count, 0);
      if (n >= 0) return static_cast<size_t>(n);
      if (WouldBlock(errno)) {
        if (!WaitFor(fd_, POLLIN, cancel_, timeoutMs)) throw ESocketTimedOut("receive");
      } else if (errno != EINTR) {
        RaiseErrno(errno);
      }
    }
  }

  bool WaitReadable(int timeoutMs) override { return WaitFor(fd_, POLLIN, cancel_, timeoutMs); }

  void Close() override {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  const TCancelSignal* cancel_;
};

// The connect runs without blocking so that its wait can watch the cancel signal and the time
// limit; its outcome is taken once the socket is writable. The socket stays non-blocking.
void ConnectSocket(int fd, const sockaddr* peer, socklen_t length, const TCancelSignal* cancel,
                   int timeoutMs) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) RaiseErrno(errno);
  if (::connect(fd, peer, length) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) RaiseErrno(errno);
    if (!WaitFor(fd, POLLOUT, cancel, timeoutMs > 0 ? timeoutMs : -1)) {
      throw ESocketTimedOut("connect");
    }
    int err = 0;
    socklen_t size = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0) RaiseErrno(errno);
    if (err != 0) RaiseErrno(err);
  }
}

std::string SystemLookup(const std::string& host, bool ipv6) {
  addrinfo hints{};
  hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int code = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (code != 0) throw ESocketCallError(LookupErrorNumber(code, errno));
  char text[INET6_ADDRSTRLEN] = {};
  const void* address =
      ipv6 ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(result->ai_addr)->sin6_addr)
           : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr);
  ::inet_ntop(hints.ai_family, address, text, sizeof text);
  ::freeaddrinfo(result);
  return text;
}

// What a lookup thread shares with its caller; whichever lets go last frees it, so a caller
// that stops waiting leaves the thread nothing else to touch.
struct LookupOutcome {
  LookupOutcome() : done(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (done < 0) RaiseErrno(errno);
  }
  ~LookupOutcome() { ::close(done); }
  LookupOutcome(const LookupOutcome&) = delete;
  LookupOutcome& operator=(const LookupOutcome&) = delete;

  const int done;  // readable once the lookup has finished
  std::mutex mutex;
  std::string address;       // guarded by mutex
  std::exception_ptr error;  // guarded by mutex
};

std::string LookupWatching(const TNameLookup& lookup, const std::string& host, bool ipv6,
                           const TCancelSignal& cancel) {
  auto outcome = std::make_shared<LookupOutcome>();
  try {
    std::thread([outcome, lookup, host, ipv6] {
      std::string address;
      std::exception_ptr error;
      try {
        address = lookup(host, ipv6);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(outcome->mutex);
        outcome->address = std::move(address);
        outcome->error = error;
      }
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(outcome->done, &one, sizeof one);
    }).detach();
  } catch (const std::system_error& e) {
    throw ESocketCallError(SocketErrorFromErrno(e.code().value()));
  }
  WaitFor(outcome->done, POLLIN, &cancel, -1);
  std::lock_guard<std::mutex> lock(outcome->mutex);
  if (outcome->error) std::rethrow_exception(outcome->error);
  return outcome->address;
}

class PosixStack : public ISocketStack {
 public:
  PosixStack() = default;
  PosixStack(const TCancelSignal& cancel, TNameLookup lookup)
      : cancel_(&cancel), lookup_(lookup ? std::move(lookup) : SystemLookup) {}

  std::string Resolve(const std::string& host, bool ipv6) override {
    return cancel_ ? LookupWatching(lookup_, host, ipv6, *cancel_) : SystemLookup(host, ipv6);
  }

  std::unique_ptr<ISocketConnection> Connect(const std::string& address, int port, bool ipv6,
                                             int timeoutMs) override {
    int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) RaiseErrno(errno);
    auto connection = std::make_unique<PosixConnection>(fd, cancel_);
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
      throw ESocketCallError(10049);
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> peer(found, ::freeaddrinfo);
    sockaddr_storage local{};  // the wildcard address, port 0
    local.ss_family = static_cast<sa_family_t>(hints.ai_family);
    socklen_t length = peer->ai_addrlen;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
      throw ESocketCallError(SocketErrorFromErrno(errno), true);
    }
    int noDelay = 0;  // Nagle stays on
    if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) != 0)
      RaiseErrno(errno);
    ConnectSocket(fd, peer->ai_addr, length, cancel_, timeoutMs);
    return connection;
  }

 private:
  const TCancelSignal* cancel_ = nullptr;
  TNameLookup lookup_;
};

}  // namespace

ISocketStack& SystemSocketStack() {
  static PosixStack stack;
  return stack;
}

std::unique_ptr<ISocketStack> CancellableSocketStack(const TCancelSignal& cancel,
                                                     TNameLookup lookup) {
  return std::make_unique<PosixStack>(cancel, std::move(lookup));
}

}  // namespace varnel
