#include "http/IOHandler.h"

#include <algorithm>
#include <cstring>

#include "http/NetExceptions.h"
#include "platform/Text.h"

namespace varnel {
namespace {

// Four dot-separated decimal numbers 0..255 and nothing else, written back without leading
// zeros (the socket layer would read "010" as octal); empty when host is no such literal.
std::string DottedDecimal(const std::string& host) {
  std::string address;
  int parts = 0;
  size_t i = 0;
  while (i <= host.size()) {
    size_t end = host.find('.', i);
    if (end == std::string::npos) end = host.size();
    std::string part = host.substr(i, end - i);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string::npos || std::stoi(part) > 255) {
      return {};
    }
    address += (parts++ == 0 ? "" : ".") + std::to_string(std::stoi(part));
    i = end + 1;
  }
  return parts == 4 ? address : std::string();
}

bool IsLocalhost(const std::string& host) {
  return AsciiLower(host) == "localhost";
}

[[noreturn]] void RaiseClosedGracefully() {
  throw EConnClosedGracefully("Connection Closed Gracefully.");
}

// "60 s", "0.25 s".
std::string Seconds(int ms) {
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    text += "." + fraction.substr(0, fraction.find_last_not_of('0') + 1);
  }
  return text + " s";
}

}  // namespace

void TWorkProgress::Begin(TWorkMode mode, int64_t workCountMax) {
  Counter& c = counters_[mode];
  if (c.level++ != 0) return;
  c.max = workCountMax;
  c.count = 0;
  if (OnBegin) OnBegin(mode, workCountMax);
}

void TWorkProgress::Add(TWorkMode mode, int64_t count) {
  Counter& c = counters_[mode];
  if (c.level < 1) return;
  c.count += count;
  if (OnWork) OnWork(mode, c.count);
}

void TWorkProgress::End(TWorkMode mode) {
  Counter& c = counters_[mode];
  if (c.level == 1 && OnEnd) OnEnd(mode);
  if (c.level > 0) --c.level;
}

template <typename Call>
auto TIOHandlerStack::Guarded(Call call) {
  try {
    return call();
  } catch (const ESocketCallError& e) {
    RaiseSocketError(e.Number());
  } catch (const ESocketTimedOut&) {
    throw EReadTimeout("Read timed out: nothing arrived from " + host_ + " for " +
                       Seconds(readTimeout_) + ".");
  }
}

void TIOHandlerStack::Open(const std::string& host, int port, TIPVersion ipVersion,
                           int connectTimeoutMs, int readTimeoutMs) {
  closedGracefully_ = false;
  start_ = end_ = lineSearch_ = 0;
  host_ = host;
  readTimeout_ = readTimeoutMs > 0 ? readTimeoutMs : -1;
  bool ipv6 = ipVersion == ipV6;
  try {
    std::string address = ipv6 ? std::string() : DottedDecimal(host);
    if (!ipv6 && IsLocalhost(host)) {
      address = "127.0.0.1";
    } else if (address.empty()) {
      address = stack_.Resolve(host, ipv6);
    }
    socket_ = stack_.Connect(address, port, ipv6, connectTimeoutMs);
  } catch (const ESocketCallError& e) {
    if (e.BindFailed()) {
      throw ECouldNotBindSocket("Could not bind socket. Address and port are already in use.");
    }
    RaiseSocketError(e.Number());
  } catch (const ESocketTimedOut&) {
    throw EConnectTimeout("Connect timed out.");
  }
  opened_ = true;
}

void TIOHandlerStack::StartTls(ITlsIOHandler& tls, const std::string& host) {
  try {
    if (Buffered() > 0) throw ETlsError("Unexpected data before the TLS handshake with " + host);
    socket_ = Guarded([&] { return tls.StartTls(std::move(socket_), host, readTimeout_); });
  } catch (...) {
    Close();
    throw;
  }
}

bool TIOHandlerStack::Connected() {
  if (opened_ && !closedGracefully_ && Buffered() == 0) {
    try {
      if (socket_->WaitReadable(0)) ReceiveOnce();
    } catch (const ESocketCallError&) {
      Close();
    } catch (const ENetException&) {  // a reset noticed while polling just ends the connection
      Close();
    }
  }
  return (opened_ && !closedGracefully_) || Buffered() > 0;
}

void TIOHandlerStack::Close() {
  if (socket_) socket_->Close();
  socket_.reset();
  opened_ = false;
  start_ = end_ = lineSearch_ = 0;  // a partial line left by a peer close is lost with it
}

void TIOHandlerStack::Write(const std::string& bytes) {
  if (!opened_ || !socket_) throw ENetException("Not Connected");
  size_t sent = 0;
  while (sent < bytes.size()) {
    size_t n = Guarded([&] { return socket_->Send(bytes.data() + sent, bytes.size() - sent); });
    sent += n;
    progress_.Add(wmWrite, static_cast<int64_t>(n));
  }
}

void TIOHandlerStack::ReceiveOnce() {
  if (closedGracefully_) return;
  if (!opened_ || !socket_) throw ENetException("Not Connected");
  if (end_ + kRecvBufferSize > kBufferSize) {
    std::memmove(buffer_.get(), buffer_.get() + start_, Buffered());
    end_ -= start_;
    start_ = 0;
  }
  size_t n = Guarded(
      [&] { return socket_->Receive(buffer_.get() + end_, kRecvBufferSize, readTimeout_); });
  end_ += n;
  if (n == 0) {
    closedGracefully_ = true;
    socket_->Close();
  }
}

void TIOHandlerStack::FillTo(size_t n) {
  while (Buffered() < n) {
    if (closedGracefully_) RaiseClosedGracefully();
    ReceiveOnce();
  }
}

void TIOHandlerStack::Remove(size_t n, TStream* target) {
  if (target) target->WriteBuffer(buffer_.get() + start_, static_cast<int64_t>(n));
  start_ += n;
  lineSearch_ = 0;
  progress_.Add(wmRead, static_cast<int64_t>(n));
}

std::string TIOHandlerStack::ReadLn() {
  for (;;) {
    const uint8_t* begin = buffer_.get() + start_;
    const void* lf = Buffered() > lineSearch_
                         ? std::memchr(begin + lineSearch_, '\n', Buffered() - lineSearch_)
                         : nullptr;
    if (lf) {
      size_t k = static_cast<size_t>(static_cast<const uint8_t*>(lf) - begin);
      if (k > kMaxLineLength) throw EReadLnMaxLineLengthExceeded("Max line length exceeded.");
      std::string line(begin, begin + k);
      Remove(k + 1, nullptr);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (char& c : line) {
        if (static_cast<unsigned char>(c) > 127) c = '?';
      }
      return line;
    }
    lineSearch_ = Buffered();
    if (Buffered() > kMaxLineLength) {
      throw EReadLnMaxLineLengthExceeded("Max line length exceeded.");
    }
    if (closedGracefully_) RaiseClosedGracefully();
    ReceiveOnce();
  }
}

bool TIOHandlerStack::WaitForData(int timeoutMs) {
  if (Buffered() == 0 && opened_ && !closedGracefully_ &&
      Guarded([&] { return socket_->WaitReadable(timeoutMs); })) {
    ReceiveOnce();
  }
  return Buffered() > 0;
}

void TIOHandlerStack::ReadStream(TStream& target, int64_t count, bool readUntilClose) {
  if (!readUntilClose) target.SetSize(target.Position() + count);
  progress_.Begin(wmRead, readUntilClose ? 0 : count);
  try {
    int64_t remaining = readUntilClose ? 0 : count;
    if (!readUntilClose && Buffered() > 0) {
      size_t first = static_cast<size_t>(std::min<int64_t>(remaining, Buffered()));
      Remove(first, &target);
      remaining -= static_cast<int64_t>(first);
    }
    while (readUntilClose || remaining > 0) {
      size_t slice = readUntilClose ? kRecvBufferSize
                                    : static_cast<size_t>(std::min<int64_t>(
                                          remaining, static_cast<int64_t>(kRecvBufferSize)));
      try {
        FillTo(slice);
      } catch (const ENetException& e) {
        Remove(std::min(slice, Buffered()), &target);
        if (readUntilClose && dynamic_cast<const EConnClosedGracefully*>(&e)) break;
        throw;
      }
      Remove(slice, &target);
      remaining -= static_cast<int64_t>(slice);
    }
  } catch (...) {
    progress_.End(wmRead);
    if (target.Size() > target.Position()) target.SetSize(target.Position());
    throw;
  }
  progress_.End(wmRead);
  if (target.Size() > target.Position()) target.SetSize(target.Position());
}

}  // namespace varnel
