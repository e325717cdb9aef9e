// How long exchanges may take, how much their bodies may hold together, and how they end when
// the program does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/fetch_request.h"
#include "net/multi_fetch.h"
#include "net/web_request.h"
#include "raw_server.h"
#include "runtime/event_pump.h"

using namespace mw;
using namespace mw::net;
using test::RawServer;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// A server trickling one byte every 2 s never lets the 3 s time-out of a single wait expire
// once its header block is out; the deadline of twice the time-out ends the request, as a
// time-out of the body does. Trickled from the first byte, it ends within the deadline too.
TEST(WebRequest, TricklingServerEndsByTheOverallDeadline) {
  const auto trickle = [](std::string_view head, std::string_view rest) {
    return [=](const RawServer::Connection& c) {
      c.send(head);
      for (char byte : rest) {
        if (c.stopping) return;
        c.send(std::string(1, byte));
        c.wait(2000);
      }
    };
  };
  RawServer body(trickle("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", "abcdefghij"));
  Text status;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(webRequest(body.url("/"), 0, {}, {.timeoutSeconds = 3, .status = &status}), "abc");
  double seconds = secondsSince(start);
  EXPECT_EQ(status, "713 读取数据失败!"_gbk);
  EXPECT_GE(seconds, 5.5);
  EXPECT_LT(seconds, 7.0);

  RawServer everything(trickle("", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi"));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(webRequest(everything.url("/"), 0, {}, {.timeoutSeconds = 3, .status = &status}), "");
  EXPECT_EQ(status, "712 服务器未响应!"_gbk);
  EXPECT_LT(secondsSince(start), 7.0);
}

// Pictures: a download may be slow as long as it moves; one that stalls, or that trickles on
// past the overall limit, ends with what arrived.
TEST(FetchPage, SlowDownloadsFinishStalledAndEndlessOnesEnd) {
  const FetchLimits limits{.connectSeconds = 10, .stallSeconds = 1, .overallSeconds = 4};
  const std::string gif = "GIF89a" + std::string(20 << 20, '\x2C');
  RawServer slow([&](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(gif.size()) + "\r\n\r\n");
    // 20 pieces, one every 150 ms: three seconds, three times the stall limit.
    const std::size_t piece = gif.size() / 20 + 1;
    for (std::size_t at = 0; at < gif.size() && !c.stopping; at += piece) {
      c.send(std::string_view(gif).substr(at, piece));
      c.wait(150);
    }
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetchWithin(limits, slow.url("/big.gif")), gif);
  EXPECT_GE(secondsSince(start), 2.5);

  RawServer stalls([](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nGIF89a");
    c.wait(30000);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetchWithin(limits, stalls.url("/")), "GIF89a");
  EXPECT_LT(secondsSince(start), 4.0) << "ended by the stall limit, before the overall one";

  // Two bytes a second is slow, not stalled: the overall limit ends it.
  RawServer endless([](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    while (!c.stopping) {
      c.send("x");
      c.wait(500);
    }
  });
  start = std::chrono::steady_clock::now();
  const Bytes part = fetchWithin(limits, endless.url("/"));
  const double seconds = secondsSince(start);
  EXPECT_GE(part.size(), 5u);
  EXPECT_LT(part.size(), 100000u);
  EXPECT_GE(seconds, 3.9);
  EXPECT_LT(seconds, 6.0);
}

// Three 60 MB pictures downloading together would hold 180 MB: the one that passes 128 MiB
// fails as an over-size body does, and the others then arrive whole.
TEST(FetchPages, BodiesInFlightTogetherAreCapped) {
  constexpr std::size_t kSize = 60'000'000, kHoldAt = 56'000'000;
  const std::string body(kSize, '\x5A');
  std::atomic<int> holding{0};
  RawServer big([&](const RawServer::Connection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n");
    c.send(std::string_view(body).substr(0, kHoldAt));
    // Until all three have sent this far, so that they are in flight together.
    ++holding;
    for (int i = 0; i < 500 && holding < 3 && !c.stopping; ++i) c.wait(10);
    c.send(std::string_view(body).substr(kHoldAt));
  });
  const TextArray urls{big.url("/1.gif"), big.url("/2.gif"), big.url("/3.gif")};
  int whole = 0, failed = 0;
  fetchPages(urls, [&](std::size_t, Bytes bytes) {
    if (std::string_view(bytes) == std::string_view(body)) ++whole;
    if (bytes.empty()) ++failed;
  });
  EXPECT_EQ(holding, 3);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(whole, 2);
}

// Once waits are aborted (the program is closing), waiting exchanges end at once and new ones
// do not start.
TEST(Transfers, AbortedWaitsEndExchangesAtOnce) {
  RawServer silent([](const RawServer::Connection& c) { c.wait(30000); });
  int pumps = 0;
  runtime::setEventPump([&] {
    if (++pumps == 20) runtime::setWaitsAborted(true);
  });
  Text status;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(webRequest(silent.url("/page"), 0, {}, {.status = &status}), "");
  EXPECT_LT(secondsSince(start), 1.0);
  EXPECT_EQ(status, "712 服务器未响应!"_gbk);

  runtime::setWaitsAborted(false);
  pumps = 0;
  std::vector<std::size_t> reported;
  start = std::chrono::steady_clock::now();
  fetchPages({silent.url("/1.gif"), silent.url("/2.gif"), silent.url("/3.gif")},
             [&](std::size_t i, Bytes bytes) {
               EXPECT_EQ(bytes, "");
               reported.push_back(i);
             });
  EXPECT_LT(secondsSince(start), 1.0);
  EXPECT_EQ(reported.size(), 3u);

  const int connections = silent.connections();
  EXPECT_EQ(fetchPage(silent.url("/4.gif")), "");
  EXPECT_EQ(webRequest(silent.url("/again")), "");
  runtime::setWaitsAborted(false);
  runtime::setEventPump(nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(silent.connections(), connections) << "nothing new was sent";
}
