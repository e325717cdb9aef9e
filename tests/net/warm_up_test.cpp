#include "net/warm_up.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http_server.h"
#include "net/web_request.h"

using namespace mw;
using namespace mw::net;
using test::RawServer;

// The connections opened ahead of time carry the first requests to their host, so that no new
// connection is made; the early fetch answers its first taker only.
TEST(PathWarmUp, ConnectionsOpenedAheadCarryTheRequestsAndTheEarlyFetchAnswersOnce) {
  const auto script = test::answer(test::response("HTTP/1.1 200 OK", "", "ok"));
  RawServer site(script, 0, true), probe(script);
  {
    PathWarmUp warm({{"127.0.0.1:" + std::to_string(site.port()), 2}}, probe.url("/"));
    EXPECT_EQ(takeEarlyPage(probe.url("/")), Bytes("ok"));
    EXPECT_EQ(takeEarlyPage(probe.url("/")), std::nullopt);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (site.connections() < 2 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(site.connections(), 2);
    EXPECT_EQ(webRequest(site.url("/a")), "ok");
    EXPECT_EQ(webRequest(site.url("/b")), "ok");
    EXPECT_EQ(site.connections(), 2);
  }
  EXPECT_EQ(probe.connections(), 1);
  EXPECT_EQ(takeEarlyPage(probe.url("/")), std::nullopt);
}

// A connection opened ahead is handed over within its lifetime only: by then the server or
// something on the way may have dropped it without a word.
TEST(PathWarmUp, ConnectionsPastTheirLifetimeAreNotHandedOver) {
  RawServer site(test::answer(test::response("HTTP/1.1 200 OK", "", "ok")), 0, true);
  PathWarmUp warm({{"127.0.0.1:" + std::to_string(site.port()), 1}}, "", std::chrono::milliseconds(0));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (site.connections() < 1 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(site.connections(), 1);
  EXPECT_EQ(webRequest(site.url("/a")), "ok");
  EXPECT_EQ(site.connections(), 2);
}
