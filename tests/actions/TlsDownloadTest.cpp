// DownloadToFile over https against nginx, with a CA and certificates made here by openssl and
// curl judging the same servers; through proxies the environment names; and Cancel while a
// TLS read waits for data.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>
#include <utility>

#include "actions/DownloadToFile.h"
#include "http/NetExceptions.h"
#include "platform/CancelSignal.h"
#include "tests/actions/PeerServers.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using test::ReadFile;
using test::TempDir;

// Sets an environment variable for the scope, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// nginx's https servers by their certificates: a good one, then one per way to fail.
const char* const kSites[] = {"good", "wrong-name", "expired", "self-signed", "unknown-issuer"};

const char* const kMakeCertificates = R"(set -e
new() { n=$1; shift; openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$n.key" "$@"; }
new ca -x509 -days 2 -subj /CN=test-ca -out ca.pem
new other-ca -x509 -days 2 -subj /CN=other-ca -out other-ca.pem
new self-signed -x509 -days 2 -subj /CN=self -addext subjectAltName=IP:127.0.0.1,DNS:localhost -out self-signed.pem
sign() {
  new "$1" -subj "/CN=$1" -out "$1.csr"
  echo "subjectAltName=$3" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days "$4" -extfile "$1.ext" -out "$1.pem"
}
sign good ca IP:127.0.0.1,DNS:localhost 2
sign wrong-name ca DNS:wrong.example 2
sign expired ca IP:127.0.0.1,DNS:localhost -1
sign unknown-issuer other-ca IP:127.0.0.1,DNS:localhost 2
)";

class TlsDownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    const std::string root = *dir_ / "www/";
    std::filesystem::create_directories(root);
    for (size_t i = 0; i < body_.size(); ++i) body_[i] = static_cast<char>(i * 7 ^ i >> 11);
    test::WriteFile(root + "f.bin", body_);
    test::WriteFile(root + "slow.bin", std::string(2 << 20, 's'));  // 8 s at nginx's slow pace
    test::WriteFile(*dir_ / "make.sh", kMakeCertificates);
    ASSERT_EQ(Run("cd '" + dir_->Path() + "' && sh make.sh 2>/dev/null"), 0);
    std::vector<test::PeerServer::TlsSite> sites;
    for (const char* site : kSites) sites.push_back({*dir_ / site + ".pem", *dir_ / site + ".key"});
    server_ = test::PeerServer::StartNginx(root, dir_->Path(), sites).release();
    trust_ = new ScopedEnv("SSL_CERT_FILE", *dir_ / "ca.pem");
  }
  static void TearDownTestSuite() {
    delete trust_;
    delete server_;
    delete dir_;
  }
  static int Run(const std::string& command) { return std::system(command.c_str()); }

  static inline TempDir* dir_ = nullptr;
  static inline std::string body_ = std::string(300000, '\0');
  static inline test::PeerServer* server_ = nullptr;
  static inline ScopedEnv* trust_ = nullptr;
};

TEST_F(TlsDownloadTest, TrustsWhatCurlTrustsAndSaysWhatFailedForWhichHost) {
  struct Case {
    size_t site;  // in kSites
    const char* host;
    const char* failure;  // the start of "<class>: <message>"; empty for success
  } cases[] = {
      {0, "127.0.0.1", ""},
      {0, "localhost", ""},
      {1, "127.0.0.1",
       "ECertificateError: The certificate of 127.0.0.1 is issued for another name."},
      {1, "localhost",
       "ECertificateError: The certificate of localhost is issued for another name."},
      {2, "127.0.0.1", "ECertificateError: The certificate of 127.0.0.1 has expired."},
      {3, "127.0.0.1", "ECertificateError: The certificate of 127.0.0.1 is self-signed."},
      {4, "localhost", "ECertificateError: The certificate of localhost has an unknown issuer."},
      {5, "127.0.0.1", "ETlsError: TLS handshake with 127.0.0.1 failed: "},  // a plain server
  };
  for (const Case& c : cases) {
    const std::string url = (c.site < std::size(kSites) ? server_->TlsBaseUrl(c.site, c.host)
                                                        : "https" + server_->BaseUrl().substr(4)) +
                            "/plain/f.bin";
    SCOPED_TRACE(url);
    const int curl = Run("curl -s -o /dev/null --cacert '" + *dir_ / "ca.pem' '" + url + "'");
    EXPECT_EQ(curl == 0, *c.failure == '\0') << "curl exit code " << curl;
    TempDir out;
    std::string result;
    try {
      DownloadToFile(url, out / "f.bin");
    } catch (const Exception& e) {
      result = std::string(e.ClassName()) + ": " + e.Message();
    }
    EXPECT_EQ(result.substr(0, std::strlen(c.failure)), c.failure);
    EXPECT_TRUE(ReadFile(out / "f.bin") == (*c.failure ? "" : body_));
  }
}

// As on a distribution whose CA store is not where the library looks: in a child with mounts
// of its own, the library's folder is empty and the store is a bundle where Debian keeps it
// (here: the test CA).
TEST_F(TlsDownloadTest, ARedirectFromHttpsToHttpIsRefused) {
  TempDir out;
  const std::string from = server_->TlsBaseUrl(0) + "/to-http";
  try {
    DownloadToFile(from, out / "ready");
    ADD_FAILURE() << "followed";
  } catch (const ERedirectError& e) {
    EXPECT_EQ(e.Message(), "A redirect from https to http was refused: " + from + " to " +
                               server_->BaseUrl() + "/plain/ready");
  }
  EXPECT_EQ(ReadFile(out / "ready"), "");
}

TEST_F(TlsDownloadTest, FindsTheHostsBundleWhereTheLibrarysStoreIsMissing) {
  if (::geteuid() != 0 || Run("unshare --mount true 2>/dev/null") != 0) {
    GTEST_SKIP() << "a private mount namespace needs root where the kernel allows it";
  }
  TempDir out;
  const std::string url = server_->TlsBaseUrl(0) + "/plain/f.bin";
  const std::string ca = *dir_ / "ca.pem";
  const pid_t child = ::fork();
  if (child == 0) {
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/usr/lib/ssl", "tmpfs", 0, nullptr) != 0 ||
        ::mount(ca.c_str(), "/etc/ssl/certs/ca-certificates.crt", nullptr, MS_BIND, nullptr) != 0) {
      std::_Exit(2);
    }
    try {
      DownloadToFile(url, out / "f.bin");
    } catch (const Exception& e) {
      std::fprintf(stderr, "%s\n", e.Message().c_str());
      std::_Exit(1);
    }
    std::_Exit(0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(ReadFile(out / "f.bin") == body_);
}

TEST_F(TlsDownloadTest, GoesThroughTheProxiesTheEnvironmentNames) {
  test::ConnectProxy tunnel;
  ScopedEnv https("https_proxy", "http://user:pw@127.0.0.1:" + std::to_string(tunnel.Port()));
  // nginx answers a request that names the whole URL as one for its own path.
  ScopedEnv http("http_proxy", server_->BaseUrl());
  TempDir out;
  const std::string authority = server_->TlsBaseUrl(0).substr(8);
  DownloadToFile("https://" + authority + "/plain/f.bin", out / "tunnelled.bin");
  DownloadToFile("http://never.looked.up/plain/f.bin", out / "forwarded.bin");
  EXPECT_TRUE(ReadFile(out / "tunnelled.bin") == body_);
  EXPECT_TRUE(ReadFile(out / "forwarded.bin") == body_);
  EXPECT_EQ(tunnel.Requests(),
            std::vector<std::string>{"CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                                     "\r\nProxy-Authorization: Basic "
                                     "dXNlcjpwdw==\r\n\r\n"});
}

TEST_F(TlsDownloadTest, CancelStopsATlsReadThatWaitsForData) {
  TCancelSignal cancel;
  std::promise<void> firstBytes;
  TDownloadHooks hooks;
  hooks.cancel = &cancel;
  hooks.onProgress = [&, started = false](int64_t, int64_t) mutable {
    if (!std::exchange(started, true)) firstBytes.set_value();
  };
  std::thread canceller([&, arrived = firstBytes.get_future()] {
    if (arrived.wait_for(std::chrono::seconds(20)) == std::future_status::ready) cancel.Cancel();
  });
  TempDir out;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(DownloadToFile(server_->TlsBaseUrl(0) + "/slow/slow.bin", out / "f", hooks),
               EOperationCancelled);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace varnel
