// The search page of the demo site (the site memwick starts, four workers), 200 searches on a
// kept-alive connection: alone, then with 64 connections on 127.0.0.1 that each send a byte of a
// request header every two seconds, opened again whenever the site closes them.
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "demo/demo_site.h"
#include "support/loopback_client.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSearches = 200;
constexpr int kTricklers = 64;
constexpr auto kTrickleEvery = std::chrono::seconds(2);
// A search not answered by then counts as failed; the searches with tricklers stop after a
// few failures (a stalled site would keep the run going for ever).
constexpr auto kSearchTimeout = std::chrono::seconds(3);
constexpr int kFailuresToStop = 3;
const char* const kSearchPath = "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9";  // 表情

// Connections that send a header that never ends, a byte at a time.
class Tricklers {
 public:
  Tricklers(int port, int count) : port_(port), fds_(std::size_t(count), -1) {
    thread_ = std::thread([this] { run(); });
  }
  ~Tricklers() {
    stop_ = true;
    thread_.join();
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  int reopened() const { return reopened_; }
  int open() const { return open_; }

 private:
  void run() {
    const std::string header = "GET /plus/search.php?q=x HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    std::vector<std::size_t> sent(fds_.size(), 0);
    while (!stop_) {
      int open = 0;
      for (std::size_t i = 0; i < fds_.size(); ++i) {
        if (fds_[i] >= 0 && mw::test::closedByPeer(fds_[i])) {
          ::close(fds_[i]);
          fds_[i] = -1;
          ++reopened_;
        }
        if (fds_[i] < 0) {
          fds_[i] = mw::test::connectToLoopback(port_);
          sent[i] = 0;
        }
        if (fds_[i] < 0) continue;
        const char byte = sent[i] < header.size() ? header[sent[i]] : 'a';
        if (::send(fds_[i], &byte, 1, MSG_NOSIGNAL) == 1) ++sent[i];
        ++open;
      }
      open_ = open;
      for (auto until = Clock::now() + kTrickleEvery; !stop_ && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  const int port_;
  std::vector<int> fds_;
  std::atomic<bool> stop_{false};
  std::atomic<int> reopened_{0};
  std::atomic<int> open_{0};
  std::thread thread_;
};

struct Latencies {
  std::vector<double> ms;
  int failed = 0;
};

Latencies searchRepeatedly(httplib::Client& client) {
  Latencies out;
  for (int i = 0; i < kSearches && out.failed < kFailuresToStop; ++i) {
    const auto start = Clock::now();
    const auto res = client.Get(kSearchPath);
    if (res && res->status == 200 && !res->body.empty())
      out.ms.push_back(mw::bench::millisecondsSince(start));
    else
      ++out.failed;
  }
  return out;
}

void print(const char* label, const Latencies& l) {
  if (l.ms.empty()) {
    std::printf("  %-24s no search answered, %d failed (%lld s time-out each)\n", label, l.failed,
                static_cast<long long>(kSearchTimeout.count()));
    return;
  }
  std::printf("  %-24s p50 %7.2f ms   max %8.2f ms   answered %3zu, failed %d\n", label,
              mw::bench::median(l.ms), *std::max_element(l.ms.begin(), l.ms.end()), l.ms.size(), l.failed);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);  // the site renders captions with fonts
  const int workers = mw::demo::DemoOptions().workerThreads;
  const auto site = mw::bench::startDemoSite(0, workers);
  if (!site) return 1;
  const int port = site->port(mw::demo::Site::Search);
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_read_timeout(kSearchTimeout);
  client.set_connection_timeout(kSearchTimeout);
  for (int i = 0; i < 10; ++i) client.Get(kSearchPath);  // warm

  const Latencies alone = searchRepeatedly(client);
  Latencies slowed;
  int open = 0, reopened = 0;
  {
    Tricklers tricklers(port, kTricklers);
    // Until every trickler has sent its first byte, and the site has seen it.
    while (tricklers.open() < kTricklers) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    slowed = searchRepeatedly(client);
    open = tricklers.open();
    reopened = tricklers.reopened();
  }

  std::printf("search page of the demo site (%d workers), %d searches on a kept-alive connection\n", workers,
              kSearches);
  print("alone", alone);
  print("with 64 tricklers", slowed);
  std::printf(
      "  tricklers: a header byte every %lld s; %d open at the end, %d reopened after the site closed them\n",
      static_cast<long long>(kTrickleEvery.count()), open, reopened);
  const bool goal =
      !slowed.ms.empty() && slowed.failed == 0 && *std::max_element(slowed.ms.begin(), slowed.ms.end()) < 50;
  std::printf("  goal (every search under 50 ms with the tricklers): %s\n", goal ? "met" : "NOT MET");
  site->stop();
  return 0;
}
