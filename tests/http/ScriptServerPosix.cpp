#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

}  // namespace

ScriptServer::ScriptServer(std::vector<ConnectionScript> scripts, bool ipv6)
    : scripts_(std::move(scripts)), ipv6_(ipv6) {
  listenFd_ = BindLoopback(ipv6, port_);
  ::listen(listenFd_, 8);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  thread_.join();
  ::close(listenFd_);
}

std::string ScriptServer::BaseUrl() const {
  return (ipv6_ ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(port_);
}

std::vector<std::string> ScriptServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptServer::Run() {
  size_t served = 0;
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Serve(fd, scripts_[std::min(served, scripts_.size() - 1)]);
    ++served;
  }
}

void ScriptServer::Serve(int fd, const ConnectionScript& script) {
  std::string request;
  char buffer[4096];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (request.find("\r\n\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  for (const ScriptStep& step : script.steps) {
    size_t sent = 0;
    while (sent < step.bytes.size()) {
      ssize_t n = ::send(fd, step.bytes.data() + sent, step.bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
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

}  // namespace varnel::test
