// Eight 20 KB pictures from a loopback server that answers each request after 100 ms:
// fetchPage one after the other against the side-by-side download, in the same run.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "net/fetch_page.h"
#include "net/listen_backlog.h"
#include "net/multi_fetch.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  const std::string picture(20 * 1024, '\xA5');
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.Get(R"(/pic/\d+\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    res.set_content(picture, "image/jpeg");
  });
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread listener([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  mw::net::widenListenBacklog(port);

  mw::TextArray urls;
  for (int i = 0; i < 8; ++i)
    urls.push_back("http://127.0.0.1:" + std::to_string(port) + "/pic/" + std::to_string(i) + ".jpg");

  const int rounds = 5;
  double serial = 0, sideBySide = 0;
  bool complete = true;
  for (int r = 0; r < rounds; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (const auto& url : urls) complete = complete && mw::net::fetchPage(url) == picture;
    serial += secondsSince(start);

    start = std::chrono::steady_clock::now();
    int arrived = 0;
    mw::net::fetchPages(urls, [&](std::size_t, mw::Bytes body) { arrived += body == picture; });
    sideBySide += secondsSince(start);
    complete = complete && arrived == 8;
  }
  serial /= rounds;
  sideBySide /= rounds;
  std::printf("eight 20 KB pictures, 100 ms server latency, mean of %d rounds\n", rounds);
  std::printf("  fetchPage one after the other: %7.1f ms\n", serial * 1000);
  std::printf("  side by side (fetchPages):     %7.1f ms\n", sideBySide * 1000);
  std::printf("  ratio: %.3f (goal <= 0.2)%s\n", sideBySide / serial, complete ? "" : "  INCOMPLETE BODIES");

  server.stop();
  listener.join();
  return complete ? 0 : 1;
}
