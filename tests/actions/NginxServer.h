// A real nginx on 127.0.0.1 and a free port serving one folder, for end-to-end downloads.
// The server runs as our child in the foreground; the destructor stops it and waits for it.
#pragma once

#include <string>

namespace varnel::test {

class NginxServer {
 public:
  // root: the folder served at "/"; work: a folder of the test's own for the configuration,
  // logs and temporary files. Raises std::runtime_error when nginx does not come up.
  NginxServer(const std::string& root, const std::string& work);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  int Port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listened on a moment ago.
int FreeLoopbackPort();

}  // namespace varnel::test
