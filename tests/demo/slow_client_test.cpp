// Clients that send their requests slowly, or open connections and leave them, cost the sites a
// socket each, never a worker.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo_site.h"
#include "demo/site_server.h"
#include "support/captioned_picture.h"

using namespace mw::demo;
using Clock = std::chrono::steady_clock;

namespace {

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

// Whether the server has closed `fd` (what it sent before closing is read and dropped).
bool closedByServer(int fd) {
  char buffer[4096];
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 0) > 0) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return n == 0 || errno != EAGAIN;
  }
  return false;
}

}  // namespace

// Twice as many tricklers as workers leave the searches answering at once, and each is closed
// once its header has taken the header deadline. One address's connections beyond its share
// close its oldest idle one.
TEST(DemoSitePool, SlowClientsHoldNoWorker) {
  DemoSite site;
  ASSERT_TRUE(site.start());
  const int port = site.port(Site::Search);
  const std::string slow = "GET /plus/search.php?q=x HTTP/1.1\r\nX-Slow: ";
  struct Trickler {
    int fd;
    Clock::time_point opened;
    Clock::time_point closed{};
  };
  std::vector<Trickler> tricklers;
  for (int i = 0; i < 2 * DemoOptions().workerThreads; ++i)
    tricklers.push_back({connectTo(port), Clock::now()});
  std::atomic<bool> stop{false};
  std::atomic<int> open{int(tricklers.size())};
  std::thread trickle([&] {
    for (std::size_t sent = 0; !stop && open > 0; ++sent) {
      for (Trickler& t : tricklers) {
        if (t.closed != Clock::time_point{}) continue;
        if (closedByServer(t.fd)) {
          t.closed = Clock::now();
          --open;
        } else {
          (void)!::send(t.fd, sent < slow.size() ? &slow[sent] : "a", 1, MSG_NOSIGNAL);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  });

  httplib::Client search("127.0.0.1", port);
  search.set_read_timeout(std::chrono::seconds(5));
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    const auto res = search.Get("/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << i;
    if (!res || res->status != 200) {
      ADD_FAILURE() << "search " << i << " not answered";
      break;
    }
  }
  search.stop();
  EXPECT_TRUE(mw::test::eventually([&] { return open == 0; }, 30));
  stop = true;
  trickle.join();
  for (const Trickler& t : tricklers) {
    EXPECT_GE(t.closed - t.opened, kHeaderLimit - std::chrono::milliseconds(300));
    EXPECT_LT(t.closed - t.opened, kHeaderLimit + std::chrono::seconds(10));
    ::close(t.fd);
  }

  // A kept-alive connection, then silent ones up to the share of one address: one more closes
  // the kept one, the oldest, and is served.
  DemoSite crowded;
  ASSERT_TRUE(crowded.start());
  const int probe = crowded.port(Site::Probe);
  const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  const int kept = connectTo(probe);
  ASSERT_EQ(::send(kept, request.data(), request.size(), 0), ssize_t(request.size()));
  std::string answer;
  char buffer[4096];
  while (answer.find("</html>\r\n") == std::string::npos) {
    const ssize_t n = ::recv(kept, buffer, sizeof buffer, 0);
    ASSERT_GT(n, 0);
    answer.append(buffer, std::size_t(n));
  }
  std::vector<int> silent;
  for (int i = 1; i < kConnectionsPerAddress; ++i)
    silent.push_back(connectTo(crowded.port(static_cast<Site>(i % kSiteCount))));
  const int last = connectTo(probe);
  EXPECT_TRUE(mw::test::eventually([&] { return closedByServer(kept); }, 10));
  for (int fd : silent) EXPECT_FALSE(closedByServer(fd));
  ASSERT_EQ(::send(last, request.data(), request.size(), 0), ssize_t(request.size()));
  EXPECT_GT(::recv(last, buffer, sizeof buffer, 0), 0);
  for (int fd : silent) ::close(fd);
  ::close(kept);
  ::close(last);
}
