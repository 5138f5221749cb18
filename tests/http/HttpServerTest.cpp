// The client over real loopback sockets against the scripted server: the bytes on the wire,
// pauses and closes, resets, refused ports and unknown names.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "http/HttpClient.h"
#include "tests/http/ScriptServer.h"

namespace varnel {
namespace {

using test::ConnectionScript;
using test::ScriptServer;

std::string Body(size_t size) {
  std::string body(size, '\0');
  uint32_t x = 12345;
  for (char& c : body) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return body;
}

class LoopbackTest : public ::testing::TestWithParam<bool> {};

TEST_P(LoopbackTest, SendsTheExactHeadAndStoresTheBodyByteForByte) {
  const std::string body = Body(300000);
  ScriptServer server(
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
      GetParam());
  THttpClient client;
  TMemoryStream target;
  client.Get(server.BaseUrl() + "/a/b c.zip?x=1", target);
  ASSERT_EQ(server.Requests().size(), 1u);
  std::string host = (GetParam() ? "::1:" : "127.0.0.1:") + std::to_string(server.Port());
  EXPECT_EQ(server.Requests()[0],
            "GET /a/b c.zip?x=1 HTTP/1.1\r\nHost: " + host +
                "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\nUser-Agent: "
                "Mozilla/5.0 (Windows; U; Windows NT 6.1; de; rv:1.9.0.16) Gecko/2009120208 "
                "Firefox/3.0.16\r\n\r\n");
  EXPECT_TRUE(target.Text() == body);
}

TEST_P(LoopbackTest, ChunkedBodyArrivingInPausedPieces) {
  ConnectionScript script;
  script.steps = {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a", 30},
                  {";x=y\r\nabcdefghijklm", 30},
                  {"nopqrstuvwxyz\r\n", 30},
                  {"3\r\n123\r\n0\r\n\r\n", 0}};
  ScriptServer server(std::vector<ConnectionScript>{script}, GetParam());
  THttpClient client;
  TMemoryStream target;
  client.Get(server.BaseUrl() + "/f", target);
  EXPECT_EQ(target.Text(), "abcdefghijklmnopqrstuvwxyz123");
}

INSTANTIATE_TEST_SUITE_P(IPv4AndIPv6, LoopbackTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ipv6" : "ipv4"; });

TEST(LoopbackCloseTest, CountedBodyCutShortAfterAPauseFails) {
  ConnectionScript script;
  script.steps = {{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + Body(40000), 50},
                  {Body(10), 0}};
  ScriptServer server(std::vector<ConnectionScript>{script});
  THttpClient client;
  TMemoryStream target;
  EXPECT_THROW(client.Get(server.BaseUrl() + "/f", target), EConnClosedGracefully);
  EXPECT_EQ(target.Size(), 40010);
  EXPECT_TRUE(target.Text().substr(0, 40000) == Body(40000));
}

TEST(LoopbackCloseTest, ResetInsideTheBodyIsASocketError) {
  ConnectionScript script;
  script.steps = {{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", 50}};
  script.reset = true;
  ScriptServer server(std::vector<ConnectionScript>{script});
  THttpClient client;
  TMemoryStream target;
  try {
    client.Get(server.BaseUrl() + "/f", target);
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(e.LastError(), 10054);
  }
  EXPECT_EQ(target.Text(), "abc");
}

// Sending to a peer that has gone must raise, not end the process by SIGPIPE.
TEST(LoopbackErrorTest, SendingAfterThePeerClosedRaisesInsteadOfSignalling) {
  ScriptServer server("");
  auto socket = SystemSocketStack().Connect("127.0.0.1", server.Port(), false, 0);
  socket->Send("\r\n\r\n", 4);
  int number = 0;
  for (int attempt = 0; attempt < 100 && number == 0; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    try {
      socket->Send("x", 1);
    } catch (const ESocketCallError& e) {
      number = e.Number();
    }
  }
  EXPECT_EQ(number, 10054);
}

TEST(LoopbackErrorTest, RefusedPort) {
  THttpClient client;
  TMemoryStream target;
  try {
    client.Get("http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/f", target);
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_STREQ(e.ClassName(), "ESocketError");
    EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
  }
}

TEST(LoopbackErrorTest, UnresolvableNameKeepsTheMessageForm) {
  THttpClient client;
  TMemoryStream target;
  try {
    client.Get("http://no-such-host.invalid/f", target);
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    int n = e.LastError();
    EXPECT_TRUE(n == 11001 || n == 11002 || n == 11003 || n == 11004) << n;
    EXPECT_EQ(e.Message(), "Socket Error # " + std::to_string(n) + "\r\n" + SocketErrorText(n));
    EXPECT_TRUE(std::regex_match(e.Message(), std::regex("Socket Error # 1100[1-4]\r\n.*")));
  }
}

}  // namespace
}  // namespace varnel
