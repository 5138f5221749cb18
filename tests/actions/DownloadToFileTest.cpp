// DownloadToFile against the scripted server, and end to end against nginx and python3's
// http.server: the file on disk must hold exactly the bytes the server sent as body.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "actions/DownloadToFile.h"
#include "http/NetExceptions.h"
#include "platform/Sha256.h"
#include "tests/actions/PeerServers.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using test::ConnectionScript;
using test::ReadFile;
using test::ScriptServer;
using test::TempDir;
using test::WriteFile;

TEST(DownloadToFileTest, ReplacesTheFileWithExactlyTheBody) {
  TempDir dir;
  WriteFile(dir / "temp.zip", std::string(1000, 'o'));
  ScriptServer server("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nPK\x03\x04!");
  DownloadToFile(server.BaseUrl() + "/tools/software.zip", dir / "temp.zip");
  EXPECT_EQ(ReadFile(dir / "temp.zip"), "PK\x03\x04!");
}

TEST(DownloadToFileTest, TheDigestSeesEveryChunkOfTheBodyInOrder) {
  TempDir dir;
  ScriptServer server(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n2\r\nbc\r\n0\r\n\r\n");
  TSha256 digest;
  TDownloadHooks hooks;
  hooks.digest = &digest;
  DownloadToFile(server.BaseUrl() + "/tools/abc.zip", dir / "temp.zip", hooks);
  EXPECT_EQ(ReadFile(dir / "temp.zip"), "abc");
  EXPECT_EQ(digest.HexDigest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(DownloadToFileTest, FailuresLeaveTheFileWithWhatArrivedAndPassTheExceptionOn) {
  struct Case {
    const char* name;
    std::string response;
    std::string url;  // empty: the scripted server's
    const char* exception;
    const char* message;
    const char* file;
  } cases[] = {
      {"https to a closed port", "",
       "https://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.zip", "ESocketError",
       "Socket Error # 10061\r\nConnection refused.", ""},
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", "",
       "EHttpProtocolException", "HTTP/1.1 404 Not Found", ""},
      {"counted body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nPK\x03", "",
       "EConnClosedGracefully", "Connection Closed Gracefully.", "PK\x03"},
      {"5 GiB announced, cut after a few bytes",
       "HTTP/1.1 200 OK\r\nContent-Length: 5368709120\r\n\r\nPK\x03", "", "EConnClosedGracefully",
       "Connection Closed Gracefully.", "PK\x03"},
      {"closed before the status line", "", "", "EConnClosedGracefully",
       "Connection Closed Gracefully.", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir / "temp.zip", "old contents");
    ScriptServer server(c.response);
    try {
      DownloadToFile(c.url.empty() ? server.BaseUrl() + "/x.zip" : c.url, dir / "temp.zip");
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), c.exception);
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(ReadFile(dir / "temp.zip"), c.file);
  }
}

TEST(DownloadToFileTest, AFileThatCannotBeCreatedStopsBeforeAnyRequest) {
  TempDir dir;
  ScriptServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  EXPECT_THROW(DownloadToFile(server.BaseUrl() + "/x.zip", dir / "missing/temp.zip"),
               EFCreateError);
  EXPECT_TRUE(server.Requests().empty());
}

// One nginx for the suite, serving a 50 MB file and its gzip twin.
class NginxDownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    std::string root = *dir_ / "www/";
    std::filesystem::create_directories(root);
    std::ofstream out(root + "big.bin", std::ios::binary);
    std::string block(1 << 16, '\0');
    uint32_t x = 7;
    for (int i = 0; i < 800; ++i) {  // 800 * 64 KiB = 50 MiB
      for (char& c : block) {
        x = x * 1664525u + 1013904223u;
        c = "abcdefghijklmnop\n "[(x >> 24) % 18];
      }
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.close();
    ASSERT_EQ(Run("gzip -k -1 '" + root + "big.bin'"), 0);
    server_ = test::PeerServer::StartNginx(root, dir_->Path()).release();
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  static int Run(const std::string& command) { return std::system(command.c_str()); }

  static TempDir* dir_;
  static test::PeerServer* server_;
};

TempDir* NginxDownloadTest::dir_ = nullptr;
test::PeerServer* NginxDownloadTest::server_ = nullptr;

TEST_F(NginxDownloadTest, PlainFileIsByteIdentical) {
  TempDir out;
  DownloadToFile(server_->BaseUrl() + "/plain/big.bin", out / "big.bin");
  EXPECT_EQ(Run("cmp -s '" + *dir_ / "www/big.bin" + "' '" + out / "big.bin" + "'"), 0);
}

TEST_F(NginxDownloadTest, ChunkedGzipIsStoredAsTheServerSentIt) {
  TempDir out;
  std::string url = server_->BaseUrl() + "/gz/big.bin";
  DownloadToFile(url, out / "ours.gz");
  ASSERT_EQ(Run("curl -s -D '" + out / "head.txt" + "' -o '" + out / "curl.gz" + "' " + url), 0);
  std::string head = ReadFile(out / "head.txt");
  EXPECT_NE(head.find("Transfer-Encoding: chunked"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Encoding: gzip"), std::string::npos) << head;
  EXPECT_EQ(Run("cmp -s '" + out / "ours.gz" + "' '" + *dir_ / "www/big.bin.gz" + "'"), 0);
  EXPECT_EQ(Run("cmp -s '" + out / "ours.gz" + "' '" + out / "curl.gz" + "'"), 0);
  EXPECT_EQ(Run("gzip -dc '" + out / "ours.gz" + "' | cmp -s - '" + *dir_ / "www/big.bin" + "'"),
            0);
}

TEST(PythonDownloadTest, FileIsByteIdentical) {
  TempDir dir;
  std::filesystem::create_directories(dir / "www");
  std::string body(3 << 20, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131) ^ (i >> 9));
  WriteFile(dir / "www/archive.zip", body);
  auto server = test::PeerServer::StartPython(dir / "www/", dir.Path());
  DownloadToFile(server->BaseUrl() + "/archive.zip", dir / "temp.zip");
  EXPECT_TRUE(ReadFile(dir / "temp.zip") == body);
}

}  // namespace
}  // namespace varnel
