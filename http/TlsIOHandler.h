// The TLS side of the client's I/O handler: TLS 1.2 or later over a connected socket, the
// server's chain verified against the system's trust store and its certificate against the
// host name or address; there is no way to turn verification off. Owns the settings and the
// trust store its connections share, loaded at the first handshake. One thread at a time.
#pragma once

#include <memory>
#include <string>

#include "http/IOHandler.h"

namespace varnel {

class TTlsIOHandler : public ITlsIOHandler {
 public:
  TTlsIOHandler();
  ~TTlsIOHandler() override;
  TTlsIOHandler(const TTlsIOHandler&) = delete;
  TTlsIOHandler& operator=(const TTlsIOHandler&) = delete;

  // Trust comes from SSL_CERT_FILE / SSL_CERT_DIR when either is set, else from the library's
  // default file and folder, else (when neither exists on this host) from the first CA bundle
  // found where the major distributions keep theirs.
  std::unique_ptr<ISocketConnection> StartTls(std::unique_ptr<ISocketConnection> socket,
                                              const std::string& host, int readTimeoutMs) override;

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace varnel
