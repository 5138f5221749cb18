// Loopback peers for byte-exact tests, each on a thread of its own that its destructor stops:
// a scripted HTTP server, a listener that never answers and a CONNECT proxy.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnel::test {

struct ScriptStep {
  std::string bytes;  // sent first
  int pauseMs = 0;    // then a pause
};

struct ConnectionScript {
  std::vector<ScriptStep> steps;
  bool reset = false;  // end with a reset instead of a close
};

// A server on 127.0.0.1 or ::1 and a free port: its thread accepts one connection at a time,
// records the request head (up to the empty line) and hands the connection to Serve.
// REQUIRES: a derived class calls Start at the end of its constructor and Stop at the start of
// its destructor, so that Serve never runs on a half-built object.
class LoopbackServer {
 public:
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  // The request heads received so far, one per connection.
  std::vector<std::string> Requests();

 protected:
  explicit LoopbackServer(bool ipv6);
  virtual ~LoopbackServer();
  void Start();
  void Stop();
  // Serves fd, whose request head is head, and closes it.
  virtual void Serve(int fd, const std::string& head) = 0;

  const bool ipv6_;
  std::atomic<bool> stop_{false};

 private:
  int listenFd_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Each connection plays its script: bytes to send, pauses, and finally a close or a reset.
class ScriptServer : public LoopbackServer {
 public:
  // One script per expected connection; later connections get the last script again.
  explicit ScriptServer(std::vector<ConnectionScript> scripts, bool ipv6 = false);
  // A server for one connection that sends these bytes and closes.
  explicit ScriptServer(const std::string& response, bool ipv6 = false)
      : ScriptServer(std::vector<ConnectionScript>{{{{response, 0}}, false}}, ipv6) {}
  ~ScriptServer() override { Stop(); }

  // "http://127.0.0.1:port" or "http://[::1]:port".
  std::string BaseUrl() const;

 private:
  void Serve(int fd, const std::string& head) override;

  std::vector<ConnectionScript> scripts_;
  size_t served_ = 0;
};

// A TCP port on 127.0.0.1 that nothing listens on (bound once, then released).
int UnusedPort();

// A socket on 127.0.0.1 that listens and never accepts: a connect completes and then hears
// nothing, or, with backlog 0 and one connection already queued, never completes.
class SilentListener {
 public:
  explicit SilentListener(int backlog);
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  int Port() const { return port_; }
  // Waits up to timeoutMs for a connection to be queued.
  bool WaitForConnection(int timeoutMs);

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A small CONNECT proxy on 127.0.0.1: a CONNECT to 127.0.0.1 is answered 200 and relayed both
// ways until either side closes; anything else is answered 403.
class ConnectProxy : public LoopbackServer {
 public:
  ConnectProxy() : LoopbackServer(false) { Start(); }
  ~ConnectProxy() override { Stop(); }

 private:
  void Serve(int fd, const std::string& head) override;
};

}  // namespace varnel::test
