#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tests/http/ScriptServer.h"

namespace varnel::test {
namespace {

int BindLoopback(bool ipv6, int& port) {
  int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_storage address{};
  socklen_t length;
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    length = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *a;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return fd;
}

// The request head (up to its empty line) as far as it arrives within 10 s, or until stop.
std::string ReadHead(int fd, const std::atomic<bool>& stop) {
  std::string head;
  char buffer[4096];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (head.find("\r\n\r\n") == std::string::npos && !stop &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  return head;
}

bool SendAll(int fd, const char* data, size_t size) {
  for (size_t sent = 0; sent < size;) {
    ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

LoopbackServer::LoopbackServer(bool ipv6) : ipv6_(ipv6) {
  listenFd_ = BindLoopback(ipv6, port_);
  ::listen(listenFd_, 8);
}

LoopbackServer::~LoopbackServer() {
  ::close(listenFd_);
}

void LoopbackServer::Start() {
  thread_ = std::thread([this] {
    while (!stop_) {
      pollfd p{listenFd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string head = ReadHead(fd, stop_);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
      }
      Serve(fd, head);
    }
  });
}

void LoopbackServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> LoopbackServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

ScriptServer::ScriptServer(std::vector<ConnectionScript> scripts, bool ipv6)
    : LoopbackServer(ipv6), scripts_(std::move(scripts)) {
  Start();
}

std::string ScriptServer::BaseUrl() const {
  return (ipv6_ ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(Port());
}

void ScriptServer::Serve(int fd, const std::string&) {
  const ConnectionScript& script = scripts_[std::min(served_++, scripts_.size() - 1)];
  for (const ScriptStep& step : script.steps) {
    SendAll(fd, step.bytes.data(), step.bytes.size());
    // A long pause ends early when the server stops, so tests don't wait it out.
    for (int waited = 0; waited < step.pauseMs && !stop_; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, step.pauseMs - waited)));
    }
  }
  if (script.reset) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  ::close(fd);
}

int UnusedPort() {
  int port = 0;
  int fd = BindLoopback(false, port);
  ::close(fd);
  return port;
}

SilentListener::SilentListener(int backlog) {
  fd_ = BindLoopback(false, port_);
  ::listen(fd_, backlog);
}

SilentListener::~SilentListener() {
  ::close(fd_);
}

bool SilentListener::WaitForConnection(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

void ConnectProxy::Serve(int fd, const std::string& head) {
  int port = 0;
  int target = -1;
  if (std::sscanf(head.c_str(), "CONNECT 127.0.0.1:%d HTTP/1.1\r\n", &port) == 1) {
    target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(target);
      target = -1;
    }
  }
  const std::string answer = target >= 0 ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                         : "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
  bool open = SendAll(fd, answer.data(), answer.size()) && target >= 0;
  char buffer[16384];
  while (open && !stop_) {
    pollfd p[2] = {{fd, POLLIN, 0}, {target, POLLIN, 0}};
    if (::poll(p, 2, 20) <= 0) continue;
    for (int i = 0; i < 2 && open; ++i) {
      if (p[i].revents == 0) continue;
      ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
      open = n > 0 && SendAll(p[1 - i].fd, buffer, static_cast<size_t>(n));
    }
  }
  if (target >= 0) ::close(target);
  ::close(fd);
}

}  // namespace varnel::test
