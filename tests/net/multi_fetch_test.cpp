#include "net/multi_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "http_server.h"
#include "runtime/event_pump.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

TEST(FetchPages, EightAtOnceOverReusedConnectionsEachReportedOnArrival) {
  std::atomic<int> inFlight{0}, mostInFlight{0};
  std::mutex mutex;
  std::set<std::string> peers;
  test::HttpServer web([&](httplib::Server& s) {
    s.Get(R"(/pic/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
      int now = ++inFlight;
      for (int seen = mostInFlight; now > seen && !mostInFlight.compare_exchange_weak(seen, now);) {
      }
      {
        std::lock_guard lock(mutex);
        peers.insert(req.remote_addr + ":" + std::to_string(req.remote_port));
      }
      int n = std::stoi(req.matches[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(n == 0 ? 400 : 50));
      --inFlight;
      res.set_content("picture " + std::to_string(n), "image/jpeg");
    });
    s.Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
  });

  TextArray urls;
  for (int i = 0; i < 16; ++i) urls.push_back(web.url("/pic/" + std::to_string(i)));
  urls.push_back("ftp://127.0.0.1/nothing");
  urls.push_back(web.url("/missing"));

  std::vector<std::pair<std::size_t, Bytes>> reports;
  int pumped = 0;
  setEventPump([&] { ++pumped; });
  fetchPages(urls, [&](std::size_t i, Bytes body) { reports.emplace_back(i, std::move(body)); });
  setEventPump(nullptr);

  ASSERT_EQ(reports.size(), urls.size());
  std::set<std::size_t> seen;
  for (const auto& [i, body] : reports) {
    seen.insert(i);
    if (i < 16)
      EXPECT_EQ(body, "picture " + std::to_string(i));
    else
      EXPECT_EQ(body, "");
  }
  EXPECT_EQ(seen.size(), urls.size());
  // The slow first picture arrives after quicker ones that started with it.
  EXPECT_NE(reports.front().first, 0u);
  EXPECT_LE(mostInFlight, 8);
  EXPECT_GE(mostInFlight, 4);
  EXPECT_LE(peers.size(), 8u);  // 17 requests reached the server over at most eight connections
  EXPECT_GT(pumped, 0);

  int calls = 0;
  fetchPages({}, [&](std::size_t, Bytes) { ++calls; });
  EXPECT_EQ(calls, 0);
}
