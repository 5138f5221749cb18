#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/actions/NginxServer.h"
#include "tests/support/TempDir.h"

namespace varnel::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool Accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string Config(const std::string& root, const std::string& work, int port) {
  return "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + work +
         "nginx.pid;\nerror_log " + work +
         "error.log;\nevents { worker_connections 64; }\n"
         "http {\n  access_log off;\n  client_body_temp_path " +
         work +
         "body;\n"
         "  proxy_temp_path " +
         work + "proxy;\n  fastcgi_temp_path " + work +
         "fastcgi;\n"
         "  uwsgi_temp_path " +
         work + "uwsgi;\n  scgi_temp_path " + work +
         "scgi;\n"
         "  types { application/zip zip; }\n  default_type application/octet-stream;\n"
         "  server {\n    listen 127.0.0.1:" +
         std::to_string(port) + ";\n    root " + root + ";\n  }\n}\n";
}

}  // namespace

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

NginxServer::NginxServer(const std::string& root, const std::string& work) {
  // Another process may take the port between our probe and nginx's bind: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLoopbackPort();
    const std::string config = work + "nginx.conf";
    WriteFile(config, Config(root, work, port_));
    std::vector<std::string> argv = {"nginx", "-q", "-p", work, "-c", config};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that aborts takes its server with it
      ::execvp("nginx", args.data());
      ::execv("/usr/sbin/nginx", args.data());
      ::_exit(127);
    }
    bool exited = false;
    for (int i = 0; i < 200 && !exited; ++i) {
      if (Accepts(port_)) return;
      exited = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
      if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (!exited) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  throw std::runtime_error("nginx did not start; see " + work + "error.log");
}

NginxServer::~NginxServer() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace varnel::test
