// Real HTTP servers for end-to-end downloads, started by the tests on 127.0.0.1 and a free
// port: nginx with a generated configuration, and python3's http.server. Each runs as our
// child in the foreground; the destructor stops it and waits for it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace varnel::test {

class PeerServer {
 public:
  ~PeerServer();
  PeerServer(const PeerServer&) = delete;
  PeerServer& operator=(const PeerServer&) = delete;

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // "https://host:port" of nginx's https server for tls[site].
  std::string TlsBaseUrl(size_t site, const std::string& host = "127.0.0.1") const {
    return "https://" + host + ":" + std::to_string(tlsPorts_.at(site));
  }

  // An https server's certificate (with the chain after it) and key, as PEM files.
  struct TlsSite {
    std::string certificate;
    std::string key;
  };

  // nginx serving root at "/plain/" as stored, at "/slow/" the same at 256 KB/s, and at
  // "/gz/" each file's stored gzip twin (name + ".gz") with Content-Encoding gzip, chunked;
  // over http, and over https on a port of its own for each of tls; "/r301", "/r302" and
  // "/r307" redirect to "/plain/ready", "/loop" to itself, an https "/to-http" to the plain one.
  // work holds configuration, logs (every request in access.log) and temporary files.
  static std::unique_ptr<PeerServer> StartNginx(const std::string& root, const std::string& work,
                                                const std::vector<TlsSite>& tls = {});
  // python3 -m http.server serving root at "/".
  static std::unique_ptr<PeerServer> StartPython(const std::string& root, const std::string& work);

 private:
  PeerServer() = default;
  // Picks a fresh port, calls prepare with it, starts argv (with "{port}" replaced) and waits
  // until readyPath answers; false when the server exits or never answers.
  bool Start(const std::vector<std::string>& argv, const std::string& log,
             const std::string& readyPath, const std::function<void(int port)>& prepare);
  void Stop();

  int pid_ = -1;
  int port_ = 0;
  std::vector<int> tlsPorts_;
};

// A relay on 127.0.0.1 in front of a server, as a flaky network is: the first connection is
// cut after cutAfter bytes of the server's answer have been passed on, and onCut runs then
// (before the next connection is accepted); later connections are relayed whole. Runs on its
// own thread; the destructor stops it.
class CutRelay {
 public:
  CutRelay(int upstreamPort, size_t cutAfter, std::function<void()> onCut);
  ~CutRelay();
  CutRelay(const CutRelay&) = delete;
  CutRelay& operator=(const CutRelay&) = delete;

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  void Run();
  // Relays one connection; false when it was cut.
  bool Relay(int client, size_t limit);

  int upstreamPort_;
  size_t cutAfter_;
  std::function<void()> onCut_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Builds the sample repository (scripts/make-repository) into out, its catalogue's archive
// URLs starting with baseUrl; false when the script fails. It runs this build's varnel-repo.
bool MakeSampleRepository(const std::string& out, const std::string& baseUrl);

}  // namespace varnel::test
