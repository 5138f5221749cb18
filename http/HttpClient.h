// THttpClient fetches one URL with an HTTP/1.1 GET and writes the response body into a stream
// the caller owns; the client owns its connection and closes it when it is destroyed. By default
// redirects are not followed, and an error status raises EHttpProtocolException. One thread uses
// a client at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/HeaderList.h"
#include "http/IOHandler.h"
#include "http/NetExceptions.h"
#include "http/Proxy.h"
#include "http/Uri.h"
#include "platform/Sockets.h"
#include "platform/Streams.h"

namespace varnel {

struct THttpRequest {
  std::string Accept = "text/html, */*";
  std::string AcceptEncoding;
  std::string UserAgent =
      "Mozilla/5.0 (Windows; U; Windows NT 6.1; de; rv:1.9.0.16) Gecko/2009120208 "
      "Firefox/3.0.16";
  std::string Host;
  std::string Username;
  std::string Password;
  // Sent as "Range: bytes=" + Range when not empty, e.g. "1000-" for the rest from byte 1000.
  std::string Range;
  // Sent with a Range: the validator (an ETag or a date, as the server gave it) the rest must
  // still match; a server whose file changed answers with the whole new file instead.
  std::string IfRange;
  THeaderList CustomHeaders;
};

// "bytes 100-199/1000": the first and last byte of the part, and the whole length (-1 for "*").
struct TContentRange {
  int64_t Start = -1;
  int64_t End = -1;
  int64_t InstanceLength = -1;
};

struct THttpResponse {
  std::string StatusLine;
  int StatusCode = -1;
  THeaderList RawHeaders;
  int64_t ContentLength = -1;
  bool HasContentLength = false;
  bool KeepAlive = false;
  std::string Location;
  std::string ETag;
  std::string LastModified;  // as received
  std::string AcceptRanges;
  TContentRange ContentRange;
};

class THttpClient {
 public:
  // REQUIRES: socketStack outlives the client.
  explicit THttpClient(ISocketStack& socketStack = SystemSocketStack());
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Sends a GET for url and writes the body into target from its current position.
  void Get(const std::string& url, TStream& target);

  bool Connected();
  void Disconnect();

  THttpRequest Request;
  const THttpResponse& Response() const { return response_; }

  // Off by default: a redirect then fails as any error status does. On, 301, 302, 303, 307 and
  // 308 responses with a Location are followed, up to RedirectMaximum in one Get, never from
  // https to http.
  bool HandleRedirects = false;
  int RedirectMaximum = 15;

  // Before a redirect is followed: dest is the absolute URL it leads to, numRedirect counts the
  // redirects of this Get, handled arrives holding whether the client would follow it (the hook
  // may change both dest and handled); method stays "GET".
  std::function<void(THttpClient& sender, std::string& dest, int& numRedirect, bool& handled,
                     std::string& method)>
      OnRedirect;
  // After each final response head, before its body is read (Response() describes it); with
  // vContinue set to false the Get ends at once, successfully, with nothing read. A handler may
  // raise to refuse the response.
  std::function<void(THttpClient& sender, const THeaderList& headers, bool& vContinue)>
      OnHeadersAvailable;
  // Connection settings, read at each connect. ConnectTimeout: milliseconds a connect may take
  // (EConnectTimeout); 0, the default, leaves the limit to the system. ReadTimeout:
  // milliseconds any wait for data may take (EReadTimeout); -1 (the default) or 0: no limit.
  int ConnectTimeout = 0;
  int ReadTimeout = -1;
  // The TLS-capable handler that https needs; without one (the default) an https URL fails
  // with EIOHandlerPropInvalid before any network activity.
  std::unique_ptr<ITlsIOHandler> IOHandler;
  // Proxies by scheme and the hosts that bypass them; the default connects directly.
  TProxyParams ProxyParams;

  // Work events: begin with the expected count (0 when unknown), the running count, end.
  std::function<void(THttpClient& sender, TWorkMode workMode, int64_t workCountMax)> OnWorkBegin;
  std::function<void(THttpClient& sender, TWorkMode workMode, int64_t workCount)> OnWork;
  std::function<void(THttpClient& sender, TWorkMode workMode)> OnWorkEnd;

  static constexpr size_t kMaxHeaderLines = 255;

 private:
  void PrepareRequest(const std::string& url);
  void ConnectToEndpoint();
  void SendHead();
  void ReadResponseHead();
  void ReadHeaderBlock();
  void ProcessResponse(TStream& target);
  // The URL a followed redirect leads to, or nothing when the response is no redirect. A
  // redirect that is not followed raises the protocol error.
  std::optional<std::string> Redirect();
  // The URL of the request just sent, as the working URI holds it.
  std::string CurrentUrl() const;
  // Reads the body by its framing; timeoutMs > 0 first waits that long for any data.
  void ReadBody(TStream& target, int timeoutMs);
  void ReadChunked(TStream& target);
  void DrainBody(int timeoutMs);
  [[noreturn]] void RaiseProtocolError(int timeoutMs);
  bool CanSetUpAuthentication() const;
  void DecideKeepAlive();

  TWorkProgress progress_;
  TIOHandlerStack ioHandler_;
  TUri uri_;
  std::string requestTarget_;
  std::string endpoint_;             // where the open connection leads, proxy and TLS included
  std::string requestTargetPrefix_;  // "http://host[:port]" when a proxy gets the request
  std::string proxyAuthorization_;   // for a request that a proxy gets
  THttpResponse response_;
  int authRetries_ = 0;
  int redirectCount_ = 0;
};

}  // namespace varnel
