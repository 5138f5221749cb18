// The HTTP client's exception family. Socket failures carry their socket error number and the
// message "Socket Error # %d\r\n%s"; a refused HTTP response carries its status and body.
#pragma once

#include <string>

#include "platform/Exception.h"

namespace varnel {

VARNEL_EXCEPTION(ENetException, Exception);
VARNEL_EXCEPTION(EConnClosedGracefully, ENetException);  // "Connection Closed Gracefully."
VARNEL_EXCEPTION(EReadLnMaxLineLengthExceeded, ENetException);
VARNEL_EXCEPTION(EUnknownProtocol, ENetException);
VARNEL_EXCEPTION(EIOHandlerPropInvalid, ENetException);
VARNEL_EXCEPTION(EHostRequired, ENetException);
VARNEL_EXCEPTION(EPortRequired, ENetException);
VARNEL_EXCEPTION(EAlreadyConnected, ENetException);
VARNEL_EXCEPTION(ECouldNotBindSocket, ENetException);
VARNEL_EXCEPTION(EReplyRFCError, ENetException);
// A redirect the client refuses to follow: more than RedirectMaximum in one request, or one
// from https to http.
VARNEL_EXCEPTION(ERedirectError, ENetException);
VARNEL_EXCEPTION(EConnectTimeout, ENetException);  // "Connect timed out."
// Nothing arrived within the read time limit; the message names the host and the limit.
VARNEL_EXCEPTION(EReadTimeout, ENetException);
// A failed TLS handshake or encrypted stream; the message says what failed, for which host.
VARNEL_EXCEPTION(ETlsError, ENetException);
// The server's certificate did not verify; the message says why, for which host.
VARNEL_EXCEPTION(ECertificateError, ETlsError);
// A proxy setting that can't be used, or a tunnel the proxy refused.
VARNEL_EXCEPTION(EProxyError, ENetException);
// A port number outside 0..65535 in a URL.
VARNEL_EXCEPTION(ERangeError, Exception);

class ESocketError : public ENetException {
 public:
  ESocketError(int errorCode, std::string message)
      : ENetException(std::move(message)), errorCode_(errorCode) {}
  int LastError() const { return errorCode_; }
  const char* ClassName() const override { return "ESocketError"; }

 private:
  int errorCode_;
};

VARNEL_EXCEPTION(ENotASocket, ESocketError);

// A response the client does not accept. The message is the status line as received.
class EHttpProtocolException : public EReplyRFCError {
 public:
  EHttpProtocolException(std::string statusLine, int statusCode, std::string errorBody)
      : EReplyRFCError(std::move(statusLine)),
        statusCode_(statusCode),
        errorBody_(std::move(errorBody)) {}
  int StatusCode() const { return statusCode_; }
  const std::string& ErrorBody() const { return errorBody_; }
  const char* ClassName() const override { return "EHttpProtocolException"; }

 private:
  int statusCode_;
  std::string errorBody_;
};

// The text for a socket error number; empty for numbers without one.
std::string SocketErrorText(int errorCode);
// Raises ENotASocket for 10038, ESocketError for every other number.
[[noreturn]] void RaiseSocketError(int errorCode);

}  // namespace varnel
