// A scripted HTTP server for byte-exact tests, on 127.0.0.1 or ::1 and a free port. Each
// accepted connection reads the request head (up to the empty line), records it, then plays
// its script: bytes to send, pauses, and finally a close or a reset. Runs on its own thread;
// the destructor stops it.
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

class ScriptServer {
 public:
  // One script per expected connection; later connections get the last script again.
  explicit ScriptServer(std::vector<ConnectionScript> scripts, bool ipv6 = false);
  // A server for one connection that sends these bytes and closes.
  explicit ScriptServer(const std::string& response, bool ipv6 = false)
      : ScriptServer(std::vector<ConnectionScript>{{{{response, 0}}, false}}, ipv6) {}
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:port" or "http://[::1]:port".
  std::string BaseUrl() const;
  // The request heads received so far, one per connection.
  std::vector<std::string> Requests();

 private:
  void Run();
  void Serve(int fd, const ConnectionScript& script);

  std::vector<ConnectionScript> scripts_;
  bool ipv6_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A TCP port on 127.0.0.1 that nothing listens on (bound once, then released).
int UnusedPort();

}  // namespace varnel::test
