#include "http/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/Text.h"

namespace varnel {
namespace {

constexpr int kMaxAuthRetries = 3;
constexpr int kDrainShortMs = 100;
constexpr int kDrainRedirectMs = 5000;
// An error body is kept only up to this size; the rest is read and dropped, so a hostile
// server can't make the client hold an unbounded page in memory.
constexpr int64_t kMaxErrorBody = 1 << 20;

// Accepts and forgets all bytes; size and position stay 0.
class TDiscardStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override { return count; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  void SetSize(int64_t) override {}
};

// An optionally signed decimal that fits the signed type T.
template <typename T>
bool ParseSigned(const std::string& text, T& value) {
  using Wide = unsigned long long;
  size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i == text.size()) return false;
  const Wide limit = static_cast<Wide>(std::numeric_limits<T>::max()) + (text[0] == '-' ? 1 : 0);
  Wide result = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    Wide digit = static_cast<Wide>(text[i] - '0');
    if (result > (limit - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = text[0] == '-' ? static_cast<T>(-static_cast<long long>(result - 1) - 1)
                         : static_cast<T>(result);
  return true;
}

// The chunk size: the line cut at its first blank, tab or ";" (an extension may follow the
// size directly or after white space), read as hexadecimal. No digits, other characters or
// more than 32 bits read as 0; 32 bits with the top one set read as negative. Either ends
// the body.
int32_t ChunkSize(const std::string& line) {
  size_t end = std::min(line.find_first_of(" \t;"), line.size());
  if (end == 0) return 0;
  uint64_t value = 0;
  for (size_t i = 0; i < end; ++i) {
    char c = line[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return 0;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return 0;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

bool IsFollowedRedirect(int code) {
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

// "bytes 100-199/1000" or "bytes */1000"; parts that don't read stay -1.
TContentRange ParseContentRange(const std::string& value) {
  TContentRange range;
  std::string text = Trim(value);
  if (!AsciiLower(text).starts_with("bytes")) return range;
  text = Trim(text.substr(5));
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return range;
  const std::string span = text.substr(0, slash);
  const size_t dash = span.find('-');
  if (dash != std::string::npos && (!ParseSigned(Trim(span.substr(0, dash)), range.Start) ||
                                    !ParseSigned(Trim(span.substr(dash + 1)), range.End) ||
                                    range.Start < 0 || range.End < range.Start)) {
    range.Start = range.End = -1;
  }
  if (!ParseSigned(Trim(text.substr(slash + 1)), range.InstanceLength) ||
      range.InstanceLength < 0) {
    range.InstanceLength = -1;
  }
  return range;
}

// 7-bit text for the request head: each character above U+007F becomes one "?".
std::string ToAscii(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (unsigned char c : utf8) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c >= 0xC0) {
      out += '?';
    }
  }
  return out;
}

// UTF-8 when the content type names that charset, otherwise one character per byte.
std::string DecodeErrorBody(const std::string& bytes, const std::string& contentType) {
  std::string type = AsciiLower(contentType);
  size_t at = type.find("charset");
  if (at != std::string::npos) {
    size_t eq = type.find('=', at);
    std::string charset = eq == std::string::npos ? "" : Trim(type.substr(eq + 1));
    charset = charset.substr(0, charset.find(';'));
    charset.erase(std::remove(charset.begin(), charset.end(), '"'), charset.end());
    if (Trim(charset) == "utf-8" || Trim(charset) == "utf8") return bytes;
  }
  std::string text;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

}  // namespace

THttpClient::THttpClient(ISocketStack& socketStack) : ioHandler_(socketStack, progress_) {
  progress_.OnBegin = [this](TWorkMode mode, int64_t max) {
    if (OnWorkBegin) OnWorkBegin(*this, mode, max);
  };
  progress_.OnWork = [this](TWorkMode mode, int64_t count) {
    if (OnWork) OnWork(*this, mode, count);
  };
  progress_.OnEnd = [this](TWorkMode mode) {
    if (OnWorkEnd) OnWorkEnd(*this, mode);
  };
}

THttpClient::~THttpClient() {
  Disconnect();
}

bool THttpClient::Connected() {
  return ioHandler_.Connected();
}

void THttpClient::Disconnect() {
  ioHandler_.Close();
}

// A followed redirect repeats the request with the new URL; the target is cut back to where it
// stood, so a hop never leaves bytes of an earlier response in it.
void THttpClient::Get(const std::string& url, TStream& target) {
  authRetries_ = 0;
  redirectCount_ = 0;
  const int64_t start = target.Position();
  try {
    for (std::string next = url;;) {
      PrepareRequest(next);
      ConnectToEndpoint();
      SendHead();
      ReadResponseHead();
      std::optional<std::string> location = Redirect();
      if (!location) {
        bool proceed = true;
        if (OnHeadersAvailable) OnHeadersAvailable(*this, response_.RawHeaders, proceed);
        if (!proceed) {
          Disconnect();  // the body stays unread on the connection
          break;
        }
        ProcessResponse(target);
        break;
      }
      target.SetPosition(start);
      if (target.Size() > start) target.SetSize(start);
      next = *location;
    }
  } catch (...) {
    DecideKeepAlive();
    throw;
  }
  DecideKeepAlive();
}

void THttpClient::PrepareRequest(const std::string& url) {
  TUri uri(url);
  if (!uri.Username.empty()) {
    Request.Username = uri.Username;
    Request.Password = uri.Password;
  }
  uri_.Username = Request.Username;
  uri_.Password = Request.Password;
  uri_.Path = (!uri.Path.empty() && uri.Path[0] == '/') ? uri.Path : uri_.Path + uri.Path;
  uri_.LastSegment = uri.LastSegment;
  uri_.Query = uri.Query;
  if (!uri.Host.empty()) uri_.Host = uri.Host;
  if (!uri.Protocol.empty()) {
    uri_.Protocol = uri.Protocol;
  } else {
    uri_.Protocol = SameText(uri_.Protocol, "https") ? "https" : "http";
  }
  if (!uri.Port.empty()) {
    uri_.Port = uri.Port;
  } else if (SameText(uri.Protocol, "http")) {
    uri_.Port = "80";
  } else if (SameText(uri.Protocol, "https")) {
    uri_.Port = "443";
  } else if (uri_.Port.empty()) {
    throw EUnknownProtocol("Unknown Protocol");
  }
  requestTarget_ = uri_.Path + uri_.LastSegment;
  if (!uri_.Query.empty()) requestTarget_ += "?" + uri_.Query;
  uri_.IPVersion = uri.IPVersion;
  Request.Host = uri_.Port == "80" ? uri_.Host : uri_.Host + ":" + uri_.Port;
}

void THttpClient::ConnectToEndpoint() {
  int32_t port = 80;
  if (!ParseSigned(uri_.Port, port)) port = 80;
  if (port < 0 || port > 65535) throw ERangeError("Range check error");
  const bool tls = SameText(uri_.Protocol, "https");
  const TProxyServer proxy = SelectProxy(ProxyParams, tls ? "https" : "http", uri_.Host);
  const std::string host = uri_.IPVersion == ipV6 ? "[" + uri_.Host + "]" : uri_.Host;
  const std::string authority = host + ":" + std::to_string(port);
  const std::string via =
      proxy.Host.empty() ? "" : " via " + proxy.Host + ":" + std::to_string(proxy.Port);
  const std::string endpoint = tls                  ? "tls " + authority + via
                               : proxy.Host.empty() ? authority
                                                    : via;
  if (ioHandler_.Opened() && endpoint != endpoint_) Disconnect();
  if (tls && !IOHandler) throw EIOHandlerPropInvalid("IOHandler value is not valid");
  // A proxy that forwards plain http gets the whole URL; through a tunnel the server gets
  // the request as it would directly.
  const bool forwarded = !tls && !proxy.Host.empty();
  requestTargetPrefix_ = forwarded ? "http://" + (port == 80 ? host : authority) : "";
  proxyAuthorization_ = forwarded ? ProxyAuthorization(proxy) : "";
  if (Request.AcceptEncoding.find("identity") == std::string::npos) {
    Request.AcceptEncoding += Request.AcceptEncoding.empty() ? "identity" : ", identity";
  }
  if (Connected()) return;
  Disconnect();
  if (uri_.Host.empty()) throw EHostRequired("");
  if (port == 0) throw EPortRequired("");
  if (proxy.Host.empty()) {
    ioHandler_.Open(uri_.Host, port, uri_.IPVersion, ConnectTimeout, ReadTimeout);
  } else {
    ioHandler_.Open(proxy.Host, proxy.Port, proxy.IPVersion, ConnectTimeout, ReadTimeout);
  }
  endpoint_ = endpoint;
  if (tls) {
    try {
      if (!proxy.Host.empty()) OpenTunnel(ioHandler_, proxy, authority);
      ioHandler_.StartTls(*IOHandler, uri_.Host);
    } catch (...) {
      Disconnect();
      throw;
    }
  }
}

void THttpClient::SendHead() {
  THeaderList lines;
  for (const std::string& line : Request.CustomHeaders.Lines()) lines.Add(line);
  lines.SetValue("Host", Request.Host);
  lines.SetValue("Accept", Request.Accept);
  lines.SetValue("Accept-Encoding", Request.AcceptEncoding);
  lines.SetValue("User-Agent", Request.UserAgent);
  if (!Request.Range.empty()) {
    lines.SetValue("Range", "bytes=" + Request.Range);
    lines.SetValue("If-Range", Request.IfRange);
  }
  if (!proxyAuthorization_.empty()) lines.SetValue("Proxy-Authorization", proxyAuthorization_);
  std::string head = "GET " + requestTargetPrefix_ + requestTarget_ + " HTTP/1.1\r\n";
  for (const std::string& line : lines.Lines()) {
    if (!line.empty()) head += line + "\r\n";
  }
  head += "\r\n";
  ioHandler_.Write(ToAscii(head));
}

void THttpClient::ReadResponseHead() {
  do {
    response_ = THttpResponse();
    response_.StatusLine = ioHandler_.ReadLn();
    ReadHeaderBlock();
    const std::string& line = response_.StatusLine;
    size_t space = line.find(' ');
    int32_t code = -1;
    if (space != std::string::npos) {
      std::string rest = Trim(line.substr(space + 1));
      if (!ParseSigned(rest.substr(0, rest.find(' ')), code)) code = -1;
    }
    response_.StatusCode = code;
    // A length past 63 bits counts as absent, as an unreadable one does.
    int64_t length = -1;
    response_.HasContentLength =
        ParseSigned(Trim(response_.RawHeaders.Values("Content-Length")), length);
    response_.ContentLength = response_.HasContentLength ? length : -1;
    const THeaderList& headers = response_.RawHeaders;
    response_.Location = headers.Values("Location");
    response_.ETag = headers.Values("ETag");
    response_.LastModified = headers.Values("Last-Modified");
    response_.AcceptRanges = headers.Values("Accept-Ranges");
    response_.ContentRange = ParseContentRange(headers.Values("Content-Range"));
  } while (response_.StatusCode == 100);
}

// The block ends at its empty line. More lines than kMaxHeaderLines fail rather than let a
// server grow the list without end; a peer close keeps the lines read so far.
void THttpClient::ReadHeaderBlock() {
  try {
    for (;;) {
      std::string line = ioHandler_.ReadLn();
      if (line.empty()) return;
      if (response_.RawHeaders.Count() == kMaxHeaderLines) {
        throw ENetException("Too many header lines (more than 255).");
      }
      response_.RawHeaders.Add(line);
    }
  } catch (const EConnClosedGracefully&) {
    Disconnect();
  }
}

bool THttpClient::CanSetUpAuthentication() const {
  for (const std::string& challenge : response_.RawHeaders.AllValues("WWW-Authenticate")) {
    std::string scheme = challenge.substr(0, challenge.find(' '));
    if (SameText(scheme, "Basic") || SameText(scheme, "Digest") || SameText(scheme, "NTLM")) {
      return !Trim(Request.Password).empty();
    }
  }
  return false;
}

std::string THttpClient::CurrentUrl() const {
  const std::string host = uri_.IPVersion == ipV6 ? "[" + uri_.Host + "]" : uri_.Host;
  return uri_.Protocol + "://" + host + ":" + uri_.Port + requestTarget_;
}

// Any 3xx but 304, and any response with a Location, counts as a redirect; only those of
// IsFollowedRedirect are followed, and only when HandleRedirects (or the hook) says so.
std::optional<std::string> THttpClient::Redirect() {
  const int code = response_.StatusCode;
  if (!((code / 100 == 3 && code != 304) || !response_.Location.empty())) return std::nullopt;
  ++redirectCount_;
  std::string dest = response_.Location.empty()
                         ? std::string()
                         : ResolveReference(CurrentUrl(), response_.Location);
  bool handled = HandleRedirects && IsFollowedRedirect(code) && !dest.empty();
  std::string method = "GET";
  if (OnRedirect) OnRedirect(*this, dest, redirectCount_, handled, method);
  if (!handled || dest.empty()) RaiseProtocolError(-1);
  if (redirectCount_ > RedirectMaximum) {
    throw ERedirectError("Too many redirects: more than " + std::to_string(RedirectMaximum) +
                         " in a row, the last one to " + dest);
  }
  if (SameText(uri_.Protocol, "https") && SameText(TUri(dest).Protocol, "http")) {
    throw ERedirectError("A redirect from https to http was refused: " + CurrentUrl() + " to " +
                         dest);
  }
  DrainBody(kDrainRedirectMs);
  DecideKeepAlive();
  return dest;
}

void THttpClient::ProcessResponse(TStream& target) {
  int code = response_.StatusCode;
  int kind = code / 100;
  if (code == 204) {
    DrainBody(kDrainShortMs);
  } else if (kind == 2) {
    ReadBody(target, -1);
  } else if (code == 401) {
    if (authRetries_ >= kMaxAuthRetries) RaiseProtocolError(-1);
    ++authRetries_;
    if (!CanSetUpAuthentication()) RaiseProtocolError(-1);
    ReadBody(target, -1);
  } else if (kind == 1 || code == 304) {
    RaiseProtocolError(kDrainShortMs);
  } else {
    // 407 included: no proxy credentials are ever configured.
    RaiseProtocolError(-1);
  }
}

void THttpClient::ReadBody(TStream& target, int timeoutMs) {
  if (AsciiLower(response_.RawHeaders.Values("Transfer-Encoding")).find("chunked") !=
      std::string::npos) {
    ReadChunked(target);
  } else if (response_.ContentLength > 0 || !response_.HasContentLength) {
    if (timeoutMs > 0 && !ioHandler_.WaitForData(timeoutMs)) return;
    bool untilClose = response_.ContentLength <= 0;
    ioHandler_.ReadStream(target, untilClose ? 0 : response_.ContentLength, untilClose);
  }
}

// Chunks smaller than a receive slice are gathered in memory and reach the target in slices of
// up to RecvBufferSize, so a body of many small chunks costs the target no more calls than a
// counted body does; a larger chunk goes to the target directly, sized up front. Whatever
// arrived before a failure is in the target, cut to its position, as when every chunk is
// copied on its own.
void THttpClient::ReadChunked(TStream& target) {
  constexpr auto kSlice = static_cast<int32_t>(TIOHandlerStack::kRecvBufferSize);
  TMemoryStream gathered;
  bool read = false;
  auto cut = [&] {
    if (read && target.Size() > target.Position()) target.SetSize(target.Position());
  };
  auto flush = [&] {
    try {
      if (gathered.Size() > 0) target.WriteBuffer(gathered.Data().data(), gathered.Size());
    } catch (...) {
      gathered.SetSize(0);
      cut();
      throw;
    }
    gathered.SetSize(0);
    cut();
  };
  try {
    for (int32_t size = ChunkSize(ioHandler_.ReadLn()); size > 0;
         size = ChunkSize(ioHandler_.ReadLn())) {
      read = true;
      if (size < kSlice) {
        if (gathered.Size() + size > kSlice) flush();
        ioHandler_.ReadStream(gathered, size, false);
      } else {
        flush();
        ioHandler_.ReadStream(target, size, false);
      }
      ioHandler_.ReadLn();
    }
    ioHandler_.ReadLn();
  } catch (...) {
    flush();
    throw;
  }
  flush();
}

// A drained body is thrown away, so a server closing before its announced end loses nothing.
void THttpClient::DrainBody(int timeoutMs) {
  TDiscardStream discard;
  try {
    ReadBody(discard, timeoutMs);
  } catch (const EConnClosedGracefully&) {
  }
}

void THttpClient::RaiseProtocolError(int timeoutMs) {
  THeadStream body(kMaxErrorBody);
  try {
    ReadBody(body, timeoutMs);
  } catch (const EConnClosedGracefully&) {
  }
  throw EHttpProtocolException(
      response_.StatusLine, response_.StatusCode,
      DecodeErrorBody(body.Head(), response_.RawHeaders.Values("Content-Type")));
}

void THttpClient::DecideKeepAlive() {
  bool keepAlive = false;
  if (ioHandler_.Opened() && Connected()) {
    keepAlive = !SameText(Trim(response_.RawHeaders.Values("Connection")), "close") &&
                !SameText(Trim(response_.RawHeaders.Values("Proxy-Connection")), "close");
  }
  response_.KeepAlive = keepAlive;
  if (!keepAlive) Disconnect();
}

}  // namespace varnel
