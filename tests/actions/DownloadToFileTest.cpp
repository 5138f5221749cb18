// DownloadToFile against the scripted server, and end to end against nginx and python3's
// http.server: the file on disk must hold exactly the bytes the server sent as body.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "actions/DownloadToFile.h"
#include "http/NetExceptions.h"
#include "platform/CancelSignal.h"
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
    TDownloadHooks hooks;
    hooks.retryPauseMs = 1;  // the cut bodies are asked for again, and cut again
    try {
      DownloadToFile(c.url.empty() ? server.BaseUrl() + "/x.zip" : c.url, dir / "temp.zip", hooks);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), c.exception);
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(ReadFile(dir / "temp.zip"), c.file);
  }
}

// A server that cuts a body is asked for the rest, when it offers a validator, or for the
// whole file again; what it answers never splices two versions of the file.
TEST(DownloadToFileTest, ACutBodyIsResumedOrStartedAgainButNeverSpliced) {
  const std::string body = "0123456789abcdefghij";
  const std::string newBody = "a changed file, longer than the first";
  auto whole = [](const std::string& headers, const std::string& bytes, size_t sent) {
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(bytes.size()) +
           "\r\n\r\n" + bytes.substr(0, sent);
  };
  auto part = [&](const std::string& range) {
    return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + range +
           "\r\nContent-Length: 12\r\n\r\n" + body.substr(8);
  };
  const std::string etag = "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n";
  const std::string date =
      "Accept-Ranges: bytes\r\nLast-Modified: Tue, 08 Dec 2026 10:00:00 GMT\r\n";
  const std::string weak =
      "Accept-Ranges: bytes\r\nETag: W/\"v1\"\r\n"
      "Last-Modified: Tue, 08 Dec 2026 10:00:00 GMT\r\n";
  struct Case {
    const char* name;
    std::vector<std::string> responses;  // one per connection, each closed after it is sent
    const char* secondRequestHas;        // a line of the second request, or "" for no Range
    const char* result;                  // "ok" or "<class>: <message>"
    std::string file;
  } cases[] = {
      {"resumed by ETag",
       {whole(etag, body, 8), part("8-19/20")},
       "Range: bytes=8-\r\nIf-Range: \"v1\"\r\n",
       "ok",
       body},
      {"resumed by date",
       {whole(date, body, 8), part("8-19/20")},
       "If-Range: Tue, 08 Dec 2026 10:00:00 GMT\r\n",
       "ok",
       body},
      {"a weak ETag gives way to the date",
       {whole(weak, body, 8), part("8-19/20")},
       "If-Range: Tue, 08 Dec 2026 10:00:00 GMT\r\n",
       "ok",
       body},
      {"no ranges: started again",
       {whole("ETag: \"v1\"\r\n", body, 8), whole("", body, 20)},
       "",
       "ok",
       body},
      {"changed meanwhile: the new file from zero",
       {whole(etag, body, 8), whole(etag, newBody, 99)},
       "Range: bytes=8-",
       "ok",
       newBody},
      {"a part from elsewhere is refused",
       {whole(etag, body, 8), part("0-11/20")},
       "Range: bytes=8-",
       "EResumeError: The download could not be resumed: the server sent bytes 0-11 of 20 "
       "where the rest from byte 8 of 20 was asked for",
       body.substr(0, 8)},
      {"a part of another length is refused",
       {whole(etag, body, 8), part("8-19/30")},
       "Range: bytes=8-",
       "EResumeError: The download could not be resumed: the server sent bytes 8-19 of 30 "
       "where the rest from byte 8 of 20 was asked for",
       body.substr(0, 8)},
      {"a refused range fails",
       {whole(etag, body, 8), "HTTP/1.1 416 Range Not Satisfiable\r\n\r\n"},
       "Range: bytes=8-",
       "EHttpProtocolException: HTTP/1.1 416 Range Not Satisfiable",
       body.substr(0, 8)},
      {"cut every time: three retries, then the last failure",
       {whole(etag, body, 8 /* and again */)},
       "Range: bytes=8-",
       "EConnClosedGracefully: Connection Closed Gracefully.",
       body.substr(0, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<ConnectionScript> scripts;
    for (const std::string& response : c.responses) scripts.push_back({{{response, 0}}, false});
    ScriptServer server(scripts);
    TSha256 digest;
    std::vector<int> reconnects;
    TDownloadHooks hooks;
    hooks.digest = &digest;
    hooks.retryPauseMs = 1;
    hooks.onReconnect = [&](int attempt, int maximum) {
      EXPECT_EQ(maximum, 3);
      reconnects.push_back(attempt);
    };
    std::string result = "ok";
    try {
      DownloadToFile(server.BaseUrl() + "/x.zip", dir / "temp.zip", hooks);
    } catch (const Exception& e) {
      result = std::string(e.ClassName()) + ": " + e.Message();
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ReadFile(dir / "temp.zip"), c.file);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    if (*c.secondRequestHas) {
      EXPECT_NE(requests[1].find(c.secondRequestHas), std::string::npos) << requests[1];
    } else {
      EXPECT_EQ(requests[1].find("Range"), std::string::npos) << requests[1];
    }
    EXPECT_EQ(reconnects.size(), requests.size() - 1);
    if (result == "ok") {
      EXPECT_EQ(digest.HexDigest(), FileSha256(dir / "temp.zip"));
    }
  }
}

TEST(DownloadToFileTest, ARefusedConnectionFailsAtOnceAndCancelEndsThePause) {
  TempDir dir;
  int reconnects = 0;
  TDownloadHooks hooks;
  hooks.onReconnect = [&](int, int) { ++reconnects; };
  EXPECT_THROW(DownloadToFile("http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x",
                              dir / "temp.zip", hooks),
               ESocketError);
  EXPECT_EQ(reconnects, 0);

  ScriptServer server("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc");
  TCancelSignal cancel;
  hooks.cancel = &cancel;
  hooks.retryPauseMs = 600000;
  hooks.onReconnect = [&](int, int) { cancel.Cancel(); };
  EXPECT_THROW(DownloadToFile(server.BaseUrl() + "/x", dir / "temp.zip", hooks),
               EOperationCancelled);
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

TEST_F(NginxDownloadTest, RedirectsAreFollowedAndALoopEnds) {
  TempDir out;
  for (const char* path : {"/r301", "/r302", "/r307"}) {
    SCOPED_TRACE(path);
    DownloadToFile(server_->BaseUrl() + path, out / "ready");
    EXPECT_EQ(ReadFile(out / "ready"), "ready");
  }
  try {
    DownloadToFile(server_->BaseUrl() + "/loop", out / "loop");
    ADD_FAILURE() << "no exception";
  } catch (const ERedirectError& e) {
    EXPECT_EQ(e.Message(), "Too many redirects: more than 15 in a row, the last one to " +
                               server_->BaseUrl() + "/loop");
  }
}

// nginx behind a relay that cuts the first connection: the rest is asked for and nginx's
// answer continues the file; once the file changed meanwhile, nginx sends it whole instead.
TEST_F(NginxDownloadTest, ACutDownloadResumesOrStartsAgainWhenTheFileChanged) {
  const std::string root = *dir_ / "www/";
  const std::string first(3 << 20, 'a');
  const std::string second(2 << 20, 'b');
  for (bool change : {false, true}) {
    SCOPED_TRACE(change ? "changed" : "unchanged");
    WriteFile(root + "cut.bin", first);
    const int port = std::stoi(server_->BaseUrl().substr(server_->BaseUrl().rfind(':') + 1));
    test::CutRelay relay(port, 1 << 20, [&] {
      if (change) WriteFile(root + "cut.bin", second);
    });
    TempDir out;
    TSha256 digest;
    int reconnects = 0;
    TDownloadHooks hooks;
    hooks.digest = &digest;
    hooks.retryPauseMs = 1;
    hooks.onReconnect = [&](int, int) { ++reconnects; };
    int64_t firstAfterCut = -1;  // the file's length at the first progress report after the cut
    hooks.onProgress = [&](int64_t received, int64_t) {
      if (reconnects == 1 && firstAfterCut < 0) firstAfterCut = received;
    };
    DownloadToFile(relay.BaseUrl() + "/plain/cut.bin", out / "cut.bin", hooks);
    EXPECT_EQ(reconnects, 1);
    if (change) {
      EXPECT_LT(firstAfterCut, 1 << 19);
    } else {
      EXPECT_GT(firstAfterCut, 1 << 19);
    }
    EXPECT_TRUE(ReadFile(out / "cut.bin") == (change ? second : first));
    EXPECT_EQ(digest.HexDigest(), FileSha256(out / "cut.bin"));
  }
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
