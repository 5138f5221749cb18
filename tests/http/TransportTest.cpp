// The transport over loopback sockets: the time limits, Cancel while a name lookup or a TLS
// handshake waits for an answer that never comes, and a real lookup against a name server
// that never answers.
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "http/HttpClient.h"
#include "http/TlsIOHandler.h"
#include "platform/CancelSignal.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How a Get ended ("ok", or the exception's class and message) and how long it took.
struct Ending {
  std::string result;
  Clock::duration took;
};

Ending TimedGet(ISocketStack& stack, const std::string& url, int timeoutMs) {
  THttpClient client(stack);
  client.IOHandler = std::make_unique<TTlsIOHandler>();
  client.ConnectTimeout = timeoutMs;
  client.ReadTimeout = timeoutMs;
  TMemoryStream target;
  Ending ending{"ok", {}};
  const auto start = Clock::now();
  try {
    client.Get(url, target);
  } catch (const Exception& e) {
    ending.result = std::string(e.ClassName()) + ": " + e.Message();
  }
  ending.took = Clock::now() - start;
  return ending;
}

TEST(TimeLimitTest, AConnectAHandshakeAndABodyThatStallFailAtTheirLimits) {
  test::SilentListener full(0);
  auto queued = SystemSocketStack().Connect("127.0.0.1", full.Port(), false, 0);
  test::SilentListener silent(8);
  test::ScriptServer stalled(std::vector<test::ConnectionScript>{
      {{{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", 30000}}, false}});
  const std::string nothing =
      "EReadTimeout: Read timed out: nothing arrived from 127.0.0.1 for 0.3 s.";
  struct Case {
    std::string url;
    std::string result;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(full.Port()) + "/f",
       "EConnectTimeout: Connect timed out."},
      {"https://127.0.0.1:" + std::to_string(silent.Port()) + "/f", nothing},
      {stalled.BaseUrl() + "/f", nothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Ending ending = TimedGet(SystemSocketStack(), c.url, 300);
    EXPECT_EQ(ending.result, c.result);
    EXPECT_LT(ending.took, 5s);
  }
}

TEST(CancelTest, StopsALookupAndAHandshakeThatNeverEnd) {
  test::SilentListener silent(8);
  // A lookup that blocks until the test ends, as one whose name server never answers.
  auto release = std::make_shared<std::promise<void>>();
  auto entered = std::make_shared<std::promise<void>>();
  std::future<void> lookupEntered = entered->get_future();
  TNameLookup lookup = [released = release->get_future().share(), entered](const std::string&,
                                                                           bool) {
    entered->set_value();
    released.wait_for(20s);
    return std::string("127.0.0.1");
  };
  struct Case {
    const char* name;
    std::string url;
    std::function<bool()> waiting;
  } cases[] = {
      {"name lookup", "http://never.answered/f",
       [&] { return lookupEntered.wait_for(10s) == std::future_status::ready; }},
      {"TLS handshake", "https://127.0.0.1:" + std::to_string(silent.Port()) + "/f",
       [&] { return silent.WaitForConnection(10000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCancelSignal cancel;
    auto stack = CancellableSocketStack(cancel, lookup);
    std::thread canceller([&] {
      if (c.waiting()) cancel.Cancel();
    });
    Ending ending = TimedGet(*stack, c.url, 20000);
    canceller.join();
    EXPECT_EQ(ending.result, "EOperationCancelled: Cancelled");
    EXPECT_LT(ending.took, 5s);
  }
  release->set_value();  // the abandoned lookup ends on its own
}

TEST(CancelTest, ALookupOnItsHelperThreadHandsBackItsAnswerOrItsFailure) {
  TCancelSignal cancel;
  auto stack = CancellableSocketStack(cancel, [](const std::string& host, bool) {
    return host == "known" ? std::string("192.0.2.7") : throw ESocketCallError(11001);
  });
  EXPECT_EQ(stack->Resolve("known", false), "192.0.2.7");
  EXPECT_THROW(stack->Resolve("unknown", false), ESocketCallError);
}

// In a process of its own with private mount and network namespaces: /etc/resolv.conf names a
// name server on loopback that takes queries and never answers. Cancel once a query has
// arrived must end the lookup at once, not after the resolver's 30 s. The file lives on a
// tmpfs that only this process sees, so nothing is left behind.
[[noreturn]] void CancelALookupNobodyAnswers() {
  auto fail = [](const char* step) {
    std::fprintf(stderr, "%s failed\n", step);
    std::_Exit(2);
  };
  if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) fail("unshare");
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("private mounts");
  if (::mount("none", "/tmp", "tmpfs", 0, nullptr) != 0) fail("tmpfs");
  test::WriteFile("/tmp/resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n");
  if (::mount("/tmp/resolv.conf", "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
    fail("mounting resolv.conf");
  }
  const int server = ::socket(AF_INET, SOCK_DGRAM, 0);
  ifreq loopback{};
  std::strcpy(loopback.ifr_name, "lo");
  loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
  if (::ioctl(server, SIOCSIFFLAGS, &loopback) != 0) fail("loopback up");
  sockaddr_in address{AF_INET, htons(53), {htonl(INADDR_LOOPBACK)}, {}};
  if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fail("bind");
  TCancelSignal cancel;
  auto stack = CancellableSocketStack(cancel);
  std::thread canceller([&] {
    pollfd query{server, POLLIN, 0};
    if (::poll(&query, 1, 10000) == 1) cancel.Cancel();
  });
  const auto start = Clock::now();
  bool cancelled = false;
  try {
    stack->Resolve("never.answered.example", false);
  } catch (const EOperationCancelled&) {
    cancelled = true;
  } catch (const Exception&) {
  }
  canceller.join();
  std::_Exit(cancelled && Clock::now() - start < 5s ? 0 : 3);
}

TEST(CancelTest, ARealLookupEndsAtOnceWhileTheNameServerIsSilent) {
  if (::geteuid() != 0 || std::system("unshare --mount --net true 2>/dev/null") != 0) {
    GTEST_SKIP() << "private mount and network namespaces need root where the kernel allows them";
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CancelALookupNobodyAnswers(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace varnel
