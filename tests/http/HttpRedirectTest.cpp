// Redirects over loopback against scripted servers: which are followed and where to, which
// stay errors, and the bound on hops; and how a Location is resolved against the request's URL.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/HttpClient.h"
#include "tests/http/ScriptServer.h"

namespace varnel {
namespace {

using test::ConnectionScript;
using test::ScriptServer;

std::string Response(const std::string& status, const std::string& headers,
                     const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Moved(int code, const std::string& location) {
  return Response(std::to_string(code) + " Moved", "Location: " + location + "\r\n", "moved");
}

ConnectionScript Script(const std::string& bytes) {
  return {{{bytes, 0}}, false};
}

std::string RequestLine(const std::string& head) {
  return head.substr(0, head.find("\r\n"));
}

// "ok", or the class and message of what the Get raised.
std::string Fetch(THttpClient& client, const std::string& url, TStream& target) {
  try {
    client.Get(url, target);
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "ok";
}

TEST(ResolveReferenceTest, ResolvesEachFormOfLocation) {
  const std::string base = "http://h:8/a/b/c?q";
  const struct {
    const char* reference;
    const char* url;
  } cases[] = {
      {"https://other/x", "https://other/x"},
      {"//other:9/x", "http://other:9/x"},
      {"/x/y", "http://h:8/x/y"},
      {"d", "http://h:8/a/b/d"},
      {"../d?k=v", "http://h:8/a/d?k=v"},
      {"../../../d", "http://h:8/d"},
      {"./", "http://h:8/a/b/"},
      {"?r", "http://h:8/a/b/c?r"},
      {"d#frag", "http://h:8/a/b/d"},
      {"\\x\\y", "http://h:8/x/y"},
      {"", "http://h:8/a/b/c?q"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference);
    EXPECT_EQ(ResolveReference(base, c.reference), c.url);
  }
  EXPECT_EQ(ResolveReference("http://h", "x"), "http://h/x");
}

// Each followed code and each form of Location ends at the final body, asked for with the
// resolved target; what the target held beyond its start before the Get is gone.
TEST(HttpRedirectTest, FollowsEveryRedirectCodeToWhereItsLocationPoints) {
  ScriptServer other(Response("200 OK", "", "elsewhere"));
  const std::string otherHost = "127.0.0.1:" + std::to_string(other.Port());
  const struct {
    int code;
    std::string location;
    std::string finalRequest;  // empty: the final request goes to the other server
  } cases[] = {
      {301, "/x/final", "GET /x/final HTTP/1.1"},
      {302, "final", "GET /a/b/final HTTP/1.1"},
      {303, "../up?k=1", "GET /a/up?k=1 HTTP/1.1"},
      {307, "?page=2", "GET /a/b/start?page=2 HTTP/1.1"},
      {308, "http://" + otherHost + "/x", ""},
      {302, "//" + otherHost + "/y", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    ScriptServer server(
        {Script(Moved(c.code, c.location)), Script(Response("200 OK", "", "final body"))});
    const size_t otherBefore = other.Requests().size();
    THttpClient client;
    client.HandleRedirects = true;
    TMemoryStream target;
    target.WriteBuffer("stale bytes beyond the body", 27);
    target.SetPosition(0);
    client.Get(server.BaseUrl() + "/a/b/start", target);
    if (c.finalRequest.empty()) {
      EXPECT_EQ(target.Text(), "elsewhere");
      ASSERT_EQ(other.Requests().size(), otherBefore + 1);
      EXPECT_NE(other.Requests().back().find("Host: " + otherHost + "\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(target.Text(), "final body");
      ASSERT_EQ(server.Requests().size(), 2u);
      EXPECT_EQ(RequestLine(server.Requests()[1]), c.finalRequest);
    }
  }
}

TEST(HttpRedirectTest, OtherRedirectsStayErrorsAndNothingReachesTheTarget) {
  const struct {
    std::string response;
    const char* message;
  } cases[] = {
      {Response("300 Multiple Choices", "Location: /x\r\n", "pick"),
       "HTTP/1.1 300 Multiple Choices"},
      {Response("304 Not Modified", "", ""), "HTTP/1.1 304 Not Modified"},
      {Response("200 OK", "Location: /x\r\n", "here"), "HTTP/1.1 200 OK"},
      {Response("301 Moved", "", "no location"), "HTTP/1.1 301 Moved"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ScriptServer server(c.response);
    THttpClient client;
    client.HandleRedirects = true;
    TMemoryStream target;
    EXPECT_EQ(Fetch(client, server.BaseUrl() + "/f", target),
              std::string("EHttpProtocolException: ") + c.message);
    EXPECT_EQ(target.Size(), 0);
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

// A loop ends after RedirectMaximum hops with a message that names the bound; the hook sees
// every hop with its absolute URL and may refuse one.
TEST(HttpRedirectTest, ALoopEndsAtTheMaximumAndTheHookSeesEveryHop) {
  for (int maximum : {15, 2}) {
    SCOPED_TRACE(maximum);
    ScriptServer server(std::vector<ConnectionScript>{Script(Moved(302, "/loop"))});
    THttpClient client;
    client.HandleRedirects = true;
    client.RedirectMaximum = maximum;
    std::vector<std::string> hops;
    client.OnRedirect = [&](THttpClient&, std::string& dest, int& count, bool& handled,
                            std::string& method) {
      EXPECT_TRUE(handled);
      EXPECT_EQ(method, "GET");
      hops.push_back(std::to_string(count) + " " + dest);
    };
    TMemoryStream target;
    EXPECT_EQ(Fetch(client, server.BaseUrl() + "/start", target),
              "ERedirectError: Too many redirects: more than " + std::to_string(maximum) +
                  " in a row, the last one to " + server.BaseUrl() + "/loop");
    EXPECT_EQ(server.Requests().size(), static_cast<size_t>(maximum) + 1);
    ASSERT_EQ(hops.size(), static_cast<size_t>(maximum) + 1);
    EXPECT_EQ(hops[0], "1 " + server.BaseUrl() + "/loop");
  }
  ScriptServer server(Moved(301, "/elsewhere"));
  THttpClient client;
  client.HandleRedirects = true;
  client.OnRedirect = [](THttpClient&, std::string&, int&, bool& handled, std::string&) {
    handled = false;
  };
  TMemoryStream target;
  EXPECT_EQ(Fetch(client, server.BaseUrl() + "/f", target),
            "EHttpProtocolException: HTTP/1.1 301 Moved");
}

}  // namespace
}  // namespace varnel
