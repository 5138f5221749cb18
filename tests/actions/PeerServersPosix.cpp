#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "http/HttpClient.h"
#include "tests/actions/PeerServers.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

// One https server per site, on its own port, serving what "/plain/" and "/slow/" serve; its
// "/to-http" redirects to the plain server's "/plain/ready".
std::string TlsServers(const std::string& root, const std::vector<PeerServer::TlsSite>& sites,
                       const std::vector<int>& ports) {
  std::string servers;
  for (size_t i = 0; i < sites.size(); ++i) {
    servers += "  server {\n    listen 127.0.0.1:" + std::to_string(ports[i]) + " ssl;\n" +
               "    ssl_certificate " + sites[i].certificate + ";\n    ssl_certificate_key " +
               sites[i].key + ";\n    location /plain/ { alias " + root +
               "; }\n    location /slow/ { alias " + root + "; limit_rate 256k; }\n" +
               "    location = /to-http { return 302 http://127.0.0.1:{port}/plain/ready; }\n  }\n";
  }
  return servers;
}

std::string NginxConfig(const std::string& root, const std::string& work,
                        const std::string& tlsServers) {
  return "master_process off;\n"
         "pid " +
         work +
         "nginx.pid;\n"
         "error_log " +
         work +
         "error.log;\n"
         "events { worker_connections 64; }\n"
         "http {\n"
         "  access_log " +
         work +
         "access.log;\n"
         "  default_type application/octet-stream;\n"
         "  client_body_temp_path " +
         work +
         "body;\n"
         "  proxy_temp_path " +
         work +
         "proxy;\n"
         "  fastcgi_temp_path " +
         work +
         "fastcgi;\n"
         "  uwsgi_temp_path " +
         work +
         "uwsgi;\n"
         "  scgi_temp_path " +
         work +
         "scgi;\n"
         "  server {\n"
         "    listen 127.0.0.1:{port};\n"
         // Redirects as a web host sends them: relative, absolute, chained, and a loop.
         "    absolute_redirect off;\n"
         "    location = /r301 { return 301 /plain/ready; }\n"
         "    location = /r302 { return 302 http://127.0.0.1:{port}/plain/ready; }\n"
         "    location = /r307 { return 307 r301; }\n"
         "    location = /loop { return 302 /loop; }\n"
         "    location /plain/ { alias " +
         root +
         "; }\n"
         // The same files at a modem's pace, for tests that watch a download in progress.
         "    location /slow/ { alias " +
         root +
         "; limit_rate 256k; }\n"
         // The stored .gz beside each file goes out as is; appending the empty file drops
         // the length, so the compressed bytes travel chunked.
         "    location /gz/ {\n"
         "      alias " +
         root +
         ";\n"
         "      gzip_static always;\n"
         "      addition_types *;\n"
         "      add_after_body /plain/empty;\n"
         "    }\n"
         "  }\n" +
         tlsServers + "}\n";
}

std::string WithPort(std::string text, int port) {
  for (size_t at; (at = text.find("{port}")) != std::string::npos;) {
    text.replace(at, 6, std::to_string(port));
  }
  return text;
}

}  // namespace

PeerServer::~PeerServer() {
  Stop();
}

void PeerServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool PeerServer::Start(const std::vector<std::string>& argv, const std::string& log,
                       const std::string& readyPath, const std::function<void(int)>& prepare) {
  port_ = UnusedPort();
  prepare(port_);
  std::vector<std::string> args;
  for (const std::string& arg : argv) args.push_back(WithPort(arg, port_));
  pid_ = ::fork();
  if (pid_ == 0) {
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> raw;
    for (std::string& arg : args) raw.push_back(arg.data());
    raw.push_back(nullptr);
    ::execvp(raw[0], raw.data());
    ::_exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;  // most likely the port was taken meanwhile
    }
    try {
      THttpClient client;
      TMemoryStream probe;
      client.Get(BaseUrl() + readyPath, probe);
      return true;
    } catch (const Exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  Stop();
  return false;
}

std::unique_ptr<PeerServer> PeerServer::StartNginx(const std::string& root, const std::string& work,
                                                   const std::vector<TlsSite>& tls) {
  WriteFile(root + "ready", "ready");
  WriteFile(root + "empty", "");
  std::unique_ptr<PeerServer> server(new PeerServer);
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto writeConfig = [&](int port) {
      server->tlsPorts_.clear();
      for (size_t i = 0; i < tls.size(); ++i) server->tlsPorts_.push_back(UnusedPort());
      WriteFile(work + "nginx.conf",
                WithPort(NginxConfig(root, work, TlsServers(root, tls, server->tlsPorts_)), port));
    };
    if (server->Start({"nginx", "-p", work, "-c", work + "nginx.conf", "-g", "daemon off;"},
                      work + "nginx.log", "/plain/ready", writeConfig)) {
      return server;
    }
  }
  throw std::runtime_error("nginx did not start; see " + work + "nginx.log");
}

std::unique_ptr<PeerServer> PeerServer::StartPython(const std::string& root,
                                                    const std::string& work) {
  WriteFile(root + "ready", "ready");
  std::unique_ptr<PeerServer> server(new PeerServer);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (server->Start(
            {"python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory", root, "{port}"},
            work + "python.log", "/ready", [](int) {})) {
      return server;
    }
  }
  throw std::runtime_error("python3 http.server did not start; see " + work + "python.log");
}

CutRelay::CutRelay(int upstreamPort, size_t cutAfter, std::function<void()> onCut)
    : upstreamPort_(upstreamPort), cutAfter_(cutAfter), onCut_(std::move(onCut)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listenFd_, 8) != 0) {
    throw std::runtime_error("the relay could not listen");
  }
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

CutRelay::~CutRelay() {
  stop_ = true;
  thread_.join();
  ::close(listenFd_);
}

void CutRelay::Run() {
  bool cut = false;
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    if (!Relay(client, cut ? SIZE_MAX : cutAfter_) && !cut) {
      cut = true;
      onCut_();
    }
  }
}

bool CutRelay::Relay(int client, size_t limit) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{
      AF_INET, htons(static_cast<uint16_t>(upstreamPort_)), {htonl(INADDR_LOOPBACK)}, {}};
  bool whole = ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  size_t passed = 0;
  char buffer[16384];
  for (bool open = whole; open && !stop_;) {
    pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(p, 2, 20) <= 0) continue;
    for (int side = 0; side < 2 && open; ++side) {
      if (!(p[side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::recv(p[side].fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        open = false;
        break;
      }
      size_t count = static_cast<size_t>(n);
      if (side == 1) {
        count = std::min(count, limit - passed);
        passed += count;
        if (passed == limit) open = whole = false;
      }
      if (::send(p[1 - side].fd, buffer, count, MSG_NOSIGNAL) != static_cast<ssize_t>(count)) {
        open = false;
      }
    }
  }
  ::close(server);
  ::close(client);
  return whole;
}

bool MakeSampleRepository(const std::string& out, const std::string& baseUrl) {
  const char* source = std::getenv("VARNEL_SOURCE_DIR");
  const std::string command = "VARNEL_REPO='" VARNEL_REPO_BINARY "' '" +
                              std::string(source ? source : ".") + "/scripts/make-repository' '" +
                              out + "' '" + baseUrl + "'";
  return std::system(command.c_str()) == 0;
}

}  // namespace varnel::test
