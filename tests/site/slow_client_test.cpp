// Clients that send their requests slowly, or open connections and leave them, cost the sites a
// socket each, never a worker.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo_site.h"
#include "site/site_server.h"
#include "support/captioned_picture.h"
#include "support/loopback_client.h"

using namespace mw::demo;
using mw::test::closedByPeer;
using mw::test::connectToLoopback;
using Clock = std::chrono::steady_clock;

// Twice as many tricklers as workers leave the searches answering at once, and each is closed
// once its header has taken the header deadline. One address's connections beyond its share
// close its oldest idle one.
TEST(DemoSitePool, SlowClientsHoldNoWorker) {
  DemoSite site;
  ASSERT_TRUE(site.start());
  const int port = site.port(Site::Search);
  const std::string slow = "GET /plus/search.php?q=x HTTP/1.1\r\nX-Slow: ";
  const auto opened = Clock::now();
  std::vector<int> tricklers;
  for (int i = 0; i < 2 * DemoOptions().workerThreads; ++i) tricklers.push_back(connectToLoopback(port));
  std::vector<Clock::duration> lasted(tricklers.size(), Clock::duration::zero());
  std::atomic<int> open{int(tricklers.size())};
  std::thread trickle([&] {
    for (std::size_t sent = 0; open > 0 && sent < 100; ++sent) {
      for (std::size_t i = 0; i < tricklers.size(); ++i) {
        if (lasted[i] != Clock::duration::zero()) continue;
        if (closedByPeer(tricklers[i])) {
          lasted[i] = Clock::now() - opened;
          --open;
        }
        (void)!::send(tricklers[i], sent < slow.size() ? &slow[sent] : "a", 1, MSG_NOSIGNAL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the pace of a trickler
    }
  });

  httplib::Client search("127.0.0.1", port);
  search.set_read_timeout(std::chrono::seconds(5));
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    const auto res = search.Get("/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9");
    EXPECT_TRUE(res && res->status == 200) << i;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << i;
  }
  trickle.join();  // all closed, or 30 s gone
  EXPECT_EQ(open, 0);
  for (std::size_t i = 0; i < tricklers.size(); ++i) {
    EXPECT_GE(lasted[i], kHeaderLimit - std::chrono::milliseconds(300)) << i;
    EXPECT_LT(lasted[i], kHeaderLimit + std::chrono::seconds(10)) << i;
    ::close(tricklers[i]);
  }

  // A kept-alive connection, then silent ones up to the share of one address: one more closes
  // the kept one, the oldest, and is served.
  DemoSite crowded;
  ASSERT_TRUE(crowded.start());
  const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  auto ask = [&](int fd) {
    char buffer[256];
    return ::send(fd, request.data(), request.size(), 0) == ssize_t(request.size()) &&
           ::recv(fd, buffer, sizeof buffer, 0) > 0;
  };
  const int kept = connectToLoopback(crowded.port(Site::Probe));
  ASSERT_TRUE(ask(kept));
  std::vector<int> silent;
  for (int i = 1; i < kConnectionsPerAddress; ++i)
    silent.push_back(connectToLoopback(crowded.port(static_cast<Site>(i % kSiteCount))));
  const int last = connectToLoopback(crowded.port(Site::Probe));
  EXPECT_TRUE(mw::test::eventually([&] { return closedByPeer(kept); }, 10));
  for (int fd : silent) EXPECT_FALSE(closedByPeer(fd));
  EXPECT_TRUE(ask(last));
  for (int fd : silent) ::close(fd);
  ::close(kept);
  ::close(last);
}
