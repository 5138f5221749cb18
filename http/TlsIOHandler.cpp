// The one file that includes OpenSSL's TLS headers.
#include "http/TlsIOHandler.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <utility>

#include "http/NetExceptions.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"

namespace varnel {
namespace {

// Where the major distributions keep their CA bundle, for a host where the library's own
// default store is missing (a bundle carrying libraries built on another distribution).
constexpr const char* kCaBundles[] = {
    "/etc/ssl/certs/ca-certificates.crt",                 // Debian, Ubuntu, Arch, Gentoo
    "/etc/pki/tls/certs/ca-bundle.crt",                   // Fedora, RHEL
    "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem",  // CentOS, RHEL 7 and later
    "/etc/ssl/ca-bundle.pem",                             // openSUSE
    "/etc/ssl/cert.pem",                                  // Alpine
    "/etc/pki/tls/cacert.pem",                            // OpenELEC
};

// Several records per receive call, so that a busy transfer costs fewer system calls.
constexpr size_t kReadAhead = 64 * 1024;

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// The reason of the earliest queued OpenSSL error, or fallback; the queue is emptied.
std::string QueuedReason(const char* fallback) {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : fallback;
}

void LoadTrustStore(SSL_CTX* context) {
  // SSL_CERT_FILE and SSL_CERT_DIR are read here, each in place of its default.
  SSL_CTX_set_default_verify_paths(context);
  IFileSystem& files = SystemFileSystem();
  if (!std::getenv(X509_get_default_cert_file_env()) &&
      !std::getenv(X509_get_default_cert_dir_env()) &&
      !FileExists(files, X509_get_default_cert_file()) &&
      !DirectoryExists(files, X509_get_default_cert_dir())) {
    for (const char* bundle : kCaBundles) {
      if (SSL_CTX_load_verify_file(context, bundle) == 1) break;
    }
  }
  ERR_clear_error();
}

std::string CertificateFailure(long result, const std::string& host) {
  std::string what;
  switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      what = "has expired";
      break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      what = "is not valid yet";
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      what = "is issued for another name";
      break;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      what = "is self-signed";
      break;
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      what = "has an unknown issuer";
      break;
    default:
      what = std::string("did not verify (") + X509_verify_cert_error_string(result) + ")";
  }
  return "The certificate of " + host + " " + what + ".";
}

// TLS over an underlying connection. OpenSSL reads and writes through a BIO whose callbacks
// call that connection; what it raises there (a cancel, a time-out, a socket error) is kept
// and raised again once OpenSSL has returned, so no exception crosses OpenSSL's C frames.
class TTlsConnection : public ISocketConnection {
 public:
  TTlsConnection(SSL_CTX* context, std::unique_ptr<ISocketConnection> socket, std::string host)
      : socket_(std::move(socket)), ssl_(SSL_new(context)), host_(std::move(host)) {
    BIO* bio = ssl_ ? BIO_new(Method()) : nullptr;
    if (!bio) throw ETlsError("TLS setup for " + host_ + " failed: " + QueuedReason("no memory"));
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_.get(), bio, bio);
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl_.get());
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // An address is checked as one; a name is also sent as the server name (SNI).
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host_.c_str()) != 1) {
      if (SSL_set1_host(ssl_.get(), host_.c_str()) != 1) {
        throw ETlsError("TLS setup for " + host_ + " failed: not a host name");
      }
      SSL_set_tlsext_host_name(ssl_.get(), host_.c_str());
    }
    ERR_clear_error();
  }

  void Handshake(int timeoutMs) {
    timeoutMs_ = timeoutMs;
    int result = SSL_connect(ssl_.get());
    if (result == 1) return;
    RaiseKept();
    long verified = SSL_get_verify_result(ssl_.get());
    if (verified != X509_V_OK) throw ECertificateError(CertificateFailure(verified, host_));
    throw ETlsError("TLS handshake with " + host_ +
                    " failed: " + QueuedReason("the server closed the connection"));
  }

  size_t Send(const void* data, size_t count) override {
    size_t sent = 0;
    int result = SSL_write_ex(ssl_.get(), data, count, &sent);
    if (result == 1) return sent;
    RaiseFailure();
  }

  // A close without the TLS close message counts as a close: the HTTP framing decides whether
  // the body is complete.
  size_t Receive(void* buffer, size_t count, int timeoutMs) override {
    timeoutMs_ = timeoutMs;
    size_t received = 0;
    int result = SSL_read_ex(ssl_.get(), buffer, count, &received);
    if (result == 1) return received;
    if (SSL_get_error(ssl_.get(), result) == SSL_ERROR_ZERO_RETURN) return 0;
    RaiseFailure();
  }

  // Bytes on the socket may hold no data yet (a session ticket, part of a record), so a peek
  // that takes only what has arrived tells whether data can be received.
  bool WaitReadable(int timeoutMs) override {
    const auto start = std::chrono::steady_clock::now();
    bool waitSocket = SSL_has_pending(ssl_.get()) == 0;
    for (;;) {
      int left = -1;
      if (timeoutMs >= 0) {
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        left = std::max(0, timeoutMs - static_cast<int>(spent.count()));
      }
      if (waitSocket && !socket_->WaitReadable(left)) return false;
      char byte;
      size_t peeked = 0;
      probing_ = true;
      int result = SSL_peek_ex(ssl_.get(), &byte, 1, &peeked);
      probing_ = false;
      if (result == 1) return true;
      if (SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_READ) {
        RaiseKept();
        ERR_clear_error();
        return true;  // a close or a failure, which Receive reports
      }
      ERR_clear_error();
      if (left == 0) return false;
      waitSocket = true;
    }
  }

  void Close() override { socket_->Close(); }

 private:
  static BIO_METHOD* Method() {
    static BIO_METHOD* const method = [] {
      BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "varnel socket");
      if (m) {
        BIO_meth_set_read(m, Read);
        BIO_meth_set_write(m, Write);
        BIO_meth_set_ctrl(m, [](BIO*, int command, long, void*) -> long {
          return command == BIO_CTRL_FLUSH ? 1 : 0;
        });
      }
      return m;
    }();
    return method;
  }

  static int Read(BIO* bio, char* buffer, int count) {
    auto* self = static_cast<TTlsConnection*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    try {
      if (self->probing_ && !self->socket_->WaitReadable(0)) {
        BIO_set_retry_read(bio);
        return -1;
      }
      return static_cast<int>(
          self->socket_->Receive(buffer, static_cast<size_t>(count), self->timeoutMs_));
    } catch (...) {
      self->kept_ = std::current_exception();
      return -1;
    }
  }

  static int Write(BIO* bio, const char* data, int count) {
    auto* self = static_cast<TTlsConnection*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    try {
      return static_cast<int>(self->socket_->Send(data, static_cast<size_t>(count)));
    } catch (...) {
      self->kept_ = std::current_exception();
      return -1;
    }
  }

  void RaiseKept() {
    if (!kept_) return;
    ERR_clear_error();
    std::rethrow_exception(std::exchange(kept_, nullptr));
  }

  [[noreturn]] void RaiseFailure() {
    RaiseKept();
    throw ETlsError("TLS failure on the connection to " + host_ + ": " +
                    QueuedReason("the connection broke"));
  }

  std::unique_ptr<ISocketConnection> socket_;
  std::unique_ptr<SSL, SslFree> ssl_;  // owns the BIO
  std::string host_;
  std::exception_ptr kept_;  // raised by socket_ inside a callback
  int timeoutMs_ = -1;       // for socket_'s receives during the current call
  bool probing_ = false;     // reads take only what has arrived
};

}  // namespace

struct TTlsIOHandler::Context {
  Context() : ssl(SSL_CTX_new(TLS_client_method())) {
    if (!ssl) throw ETlsError("TLS setup failed: " + QueuedReason("no memory"));
    SSL_CTX_set_min_proto_version(ssl, TLS1_2_VERSION);
    SSL_CTX_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_options(ssl, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_read_ahead(ssl, 1);
    SSL_CTX_set_default_read_buffer_len(ssl, kReadAhead);
    LoadTrustStore(ssl);
  }
  ~Context() { SSL_CTX_free(ssl); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  SSL_CTX* const ssl;
};

TTlsIOHandler::TTlsIOHandler() = default;
TTlsIOHandler::~TTlsIOHandler() = default;

std::unique_ptr<ISocketConnection> TTlsIOHandler::StartTls(
    std::unique_ptr<ISocketConnection> socket, const std::string& host, int readTimeoutMs) {
  if (!context_) context_ = std::make_unique<Context>();
  auto connection = std::make_unique<TTlsConnection>(context_->ssl, std::move(socket), host);
  connection->Handshake(readTimeoutMs);
  return connection;
}

}  // namespace varnel
