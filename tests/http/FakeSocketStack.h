// An in-memory socket stack: every connection plays the same scripted response bytes in
// slices of a chosen size and records what the client sent. Resolve and Connect can be told
// to fail with a socket error number, so no test needs a name server or a network.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sockets.h"

namespace varnel::test {

class FakeSocketStack : public ISocketStack {
 public:
  explicit FakeSocketStack(std::string response = {}, size_t sliceSize = 1 << 20)
      : response(std::move(response)), sliceSize(sliceSize) {}

  // What every connection receives, then a close (or, with resetAtEnd, a reset error).
  std::string response;
  size_t sliceSize;
  bool resetAtEnd = false;
  int resolveError = 0;  // non-zero: Resolve fails with this number
  int connectError = 0;  // non-zero: Connect fails with this number
  bool bindFails = false;

  std::vector<std::string> resolved;   // "name/4" or "name/6" per lookup
  std::vector<std::string> connected;  // "address port" per connect
  std::string sent;                    // everything sent on every connection

  std::string Resolve(const std::string& host, bool ipv6) override {
    resolved.push_back(host + (ipv6 ? "/6" : "/4"));
    if (resolveError != 0) throw ESocketCallError(resolveError);
    return ipv6 ? "::1" : "192.0.2.1";
  }

  std::unique_ptr<ISocketConnection> Connect(const std::string& address, int port, bool,
                                             int) override {
    if (bindFails) throw ESocketCallError(10048, true);
    if (connectError != 0) throw ESocketCallError(connectError);
    connected.push_back(address + " " + std::to_string(port));
    return std::make_unique<Connection>(*this);
  }

 private:
  class Connection : public ISocketConnection {
   public:
    explicit Connection(FakeSocketStack& stack) : stack_(stack) {}
    size_t Send(const void* data, size_t count) override {
      stack_.sent.append(static_cast<const char*>(data), count);
      return count;
    }
    size_t Receive(void* buffer, size_t count, int) override {
      size_t n = std::min({count, stack_.sliceSize, stack_.response.size() - offset_});
      if (n == 0 && stack_.resetAtEnd) throw ESocketCallError(10054);
      std::memcpy(buffer, stack_.response.data() + offset_, n);
      offset_ += n;
      return n;
    }
    bool WaitReadable(int) override { return true; }
    void Close() override {}

   private:
    FakeSocketStack& stack_;
    size_t offset_ = 0;
  };
};

}  // namespace varnel::test
