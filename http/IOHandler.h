// The client's end of one TCP connection: the socket (TLS over it once started), the input
// buffer that every read takes from, line and byte reads on top of it, and the read/write work
// counters. The socket stack and the progress hooks belong to the caller and must outlive the
// handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/Uri.h"
#include "platform/Sockets.h"
#include "platform/Streams.h"

namespace varnel {

enum TWorkMode { wmRead, wmWrite };

// Nesting work counters per mode: only the outermost Begin/End report, and Add reports the
// running total while some Begin is open.
class TWorkProgress {
 public:
  std::function<void(TWorkMode, int64_t workCountMax)> OnBegin;
  std::function<void(TWorkMode, int64_t workCount)> OnWork;
  std::function<void(TWorkMode)> OnEnd;

  void Begin(TWorkMode mode, int64_t workCountMax);
  void Add(TWorkMode mode, int64_t count);
  void End(TWorkMode mode);

 private:
  struct Counter {
    int level = 0;
    int64_t max = 0;
    int64_t count = 0;
  };
  Counter counters_[2];
};

// What makes the I/O handler TLS-capable: it starts TLS on a connected socket. TTlsIOHandler
// (TlsIOHandler.h) is the real one.
class ITlsIOHandler {
 public:
  virtual ~ITlsIOHandler() = default;
  // Runs the handshake over socket, checking host's name or address against the certificate,
  // and returns the connection that encrypts; it owns socket. Reads wait at most readTimeoutMs
  // (<= 0: no limit). Raises ETlsError / ECertificateError, or what socket raised.
  virtual std::unique_ptr<ISocketConnection> StartTls(std::unique_ptr<ISocketConnection> socket,
                                                      const std::string& host,
                                                      int readTimeoutMs) = 0;
};

class TIOHandlerStack {
 public:
  static constexpr size_t kRecvBufferSize = 32768;
  static constexpr size_t kMaxLineLength = 16384;

  TIOHandlerStack(ISocketStack& stack, TWorkProgress& progress)
      : stack_(stack), progress_(progress) {}

  // Resolves host (LOCALHOST and dotted-decimal literals without a lookup) and connects, within
  // connectTimeoutMs when that is > 0 (else the system's limit). Every later wait for data
  // lasts at most readTimeoutMs when that is > 0. Raises ESocketError / ECouldNotBindSocket /
  // EConnectTimeout; the handler stays closed on failure.
  void Open(const std::string& host, int port, TIPVersion ipVersion, int connectTimeoutMs,
            int readTimeoutMs);
  // Runs TLS for host over the open connection; reads and writes go through it from then on.
  // The handler is closed when the handshake fails. REQUIRES: Opened(), nothing unread.
  void StartTls(ITlsIOHandler& tls, const std::string& host);
  bool Opened() const { return opened_; }
  // With nothing buffered, polls once without waiting; then: open and no peer close seen, or
  // unread bytes left.
  bool Connected();
  void Close();

  // Sends all bytes; a failure raises the socket error at once.
  void Write(const std::string& bytes);

  // The next line without its LF and one CR before it. Bytes above 127 read as "?".
  std::string ReadLn();
  // Copies count bytes, or everything until the peer closes, into target at its position.
  // The target is sized once up front for a counted read and cut back to what arrived, also
  // on failure. A peer close ends an until-close read normally and fails a counted one.
  void ReadStream(TStream& target, int64_t count, bool readUntilClose);
  // Waits up to timeoutMs for the first byte when none is buffered; true when some is.
  bool WaitForData(int timeoutMs);
  bool ClosedGracefully() const { return closedGracefully_; }

 private:
  size_t Buffered() const { return end_ - start_; }
  // One receive call into the input buffer; a zero result marks the peer close.
  void ReceiveOnce();
  // Receives until n bytes are buffered; EConnClosedGracefully once the peer has closed.
  void FillTo(size_t n);
  // Takes n buffered bytes into target (or nowhere), reporting read progress.
  void Remove(size_t n, TStream* target);
  // Runs a call on the socket, raising its failures as the client's exceptions.
  template <typename Call>
  auto Guarded(Call call);

  ISocketStack& stack_;
  TWorkProgress& progress_;
  std::unique_ptr<ISocketConnection> socket_;
  std::string host_;
  int readTimeout_ = -1;
  bool opened_ = false;
  bool closedGracefully_ = false;
  // Unread bytes are buffer_[start_, end_). Reads never leave more than a line's limit or one
  // slice unread before the next receive, so a fixed size holds them and a full receive.
  static constexpr size_t kBufferSize = 3 * kRecvBufferSize;
  std::unique_ptr<uint8_t[]> buffer_{new uint8_t[kBufferSize]};
  size_t start_ = 0;
  size_t end_ = 0;
  size_t lineSearch_ = 0;  // bytes after start_ already searched for LF
};

}  // namespace varnel
