// A group's collection under load, all on loopback: two memwick-site nodes on one throwaway
// PostgreSQL holding PICTURES pictures and one store, CLIENTS searching at once (half on each
// node, each on a kept-alive connection) and UPLOADS a second posted to them in turn, for
// SECONDS. Prints the searches a second, their p50, p95 and p99, the errors, the uploads made
// and each node's peak RSS; then the same with the nodes' other count of database connections
// (--readers), to compare.
// Usage: collection_load_bench [SECONDS [CLIENTS [PICTURES [UPLOADS [READERS...]]]]]
//        (default 60 200 20000 20 4 8)
#include <QBuffer>
#include <QImage>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "bench/collection_seed.h"
#include "net/encoding.h"
#include "runtime/charset.h"
#include "support/site_node.h"

namespace {

using Clock = std::chrono::steady_clock;

long peakRssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  return -1;
}

// A small picture of its own for upload `n`.
std::string uploadPicture(int n) {
  QImage image(64, 64, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(QRgb(0x203040 + n * 7919)));
  image.setPixel(n % 64, (n / 64) % 64, qRgb(255, 255, 255));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return buffer.data().toStdString();
}

struct Figures {
  std::vector<double> latencies;
  long long errors = 0, uploads = 0, uploadErrors = 0;
  double seconds = 0;
};

Figures runLoad(std::vector<mw::test::SiteNode*> nodes, int seconds, int clients, int uploadsPerSecond,
                const std::vector<std::string>& tokens, int firstUpload) {
  static const std::vector<std::string> keywords{"猫",     "了",     "鱼",   "猫咪",   "下班",
                                                 "摸鱼",   "开心",   "躺平", "我太难", "下班了",
                                                 "熊猫头", "打工人", "成员1"};
  Figures f;
  std::mutex mutex;
  const Clock::time_point start = Clock::now(), end = start + std::chrono::seconds(seconds);
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client = nodes[std::size_t(c) % nodes.size()]->search();
      client.set_keep_alive(true);
      std::vector<double> mine;
      long long errors = 0;
      for (std::size_t i = std::size_t(c); Clock::now() < end; ++i) {
        const std::string& k = keywords[i % keywords.size()];
        const Clock::time_point t = Clock::now();
        const auto r = client.Get(
            "/plus/search.php?q=" +
            mw::net::urlEncode(*mw::runtime::convertCharset(k, "UTF-8", "GBK", true), true, false));
        mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
        if (!r || r->status != 200 || r->body.find("<b>") == std::string::npos) ++errors;
      }
      const std::lock_guard lock(mutex);
      f.latencies.insert(f.latencies.end(), mine.begin(), mine.end());
      f.errors += errors;
    });
  }
  // Uploads at their rate, each on a connection of its own, by the members in turn (each
  // member may send 60 a minute to a node).
  threads.emplace_back([&] {
    std::vector<std::thread> posts;
    for (int n = 0; Clock::now() < end; ++n) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * n / uploadsPerSecond));
      posts.emplace_back([&, n] {
        httplib::Client client = nodes[std::size_t(n) % nodes.size()]->search();
        const httplib::Headers auth{{"Authorization", "Bearer " + tokens[std::size_t(n) % tokens.size()]}};
        const auto r = client.Post("/api/pictures", auth, uploadPicture(firstUpload + n), "image/png");
        const std::lock_guard lock(mutex);
        ++(r && r->status == 201 ? f.uploads : f.uploadErrors);
      });
    }
    for (std::thread& t : posts) t.join();
  });
  for (std::thread& t : threads) t.join();
  f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const auto arg = [&](int i, int fallback) { return argc > i ? std::atoi(argv[i]) : fallback; };
  const int seconds = arg(1, 60), clients = arg(2, 200), pictures = arg(3, 20000), uploads = arg(4, 20);
  std::vector<int> readers;
  for (int i = 5; i < argc; ++i) readers.push_back(std::atoi(argv[i]));
  if (readers.empty()) readers = {4, 8};

  mw::test::ThrowawayPostgres pg;
  if (!pg.error().empty()) return std::fprintf(stderr, "%s\n", pg.error().c_str()), 1;
  std::string error;
  {
    const auto collection = mw::site::Collection::open({.uri = pg.uri()}, &error);
    if (!collection || !mw::bench::seedCollection(*collection, pictures))
      return std::fprintf(stderr, "cannot seed: %s\n", error.c_str()), 1;
  }
  const std::filesystem::path store = pg.folder() / "store", tokensFile = pg.folder() / "tokens";
  std::filesystem::create_directories(store);
  std::vector<std::string> tokens;
  {
    std::ofstream out(tokensFile);
    for (int i = 0; i < 2 * uploads; ++i) {
      tokens.push_back("bench-token-" + std::to_string(100000 + i));
      out << "member" << i << ' ' << tokens.back() << '\n';
    }
  }
  std::printf("%d pictures, %d clients, %d uploads/s, %d s a run, on %u cores\n", pictures, clients, uploads,
              seconds, std::thread::hardware_concurrency());
  std::printf("%-8s %10s %8s %8s %8s %7s %8s %8s %12s %12s\n", "readers", "searches/s", "p50_ms", "p95_ms",
              "p99_ms", "errors", "uploads", "refused", "node1_rss_mb", "node2_rss_mb");
  int uploaded = 0;
  for (const int r : readers) {
    const std::vector<std::string> options{
        "--database",        pg.uri(),    "--store",         store.string(),   "--tokens",
        tokensFile.string(), "--readers", std::to_string(r), "--word-readers", "0"};
    mw::test::SiteNode a(options), b(options);
    if (!a.ready() || !b.ready())
      return std::fprintf(stderr, "a node did not start:\n%s\n%s\n", a.log().c_str(), b.log().c_str()), 1;
    const Figures f = runLoad({&a, &b}, seconds, clients, uploads, tokens, uploaded);
    uploaded += int(f.uploads + f.uploadErrors);
    std::printf("%-8d %10.0f %8.1f %8.1f %8.1f %7lld %8lld %8lld %12.0f %12.0f\n", r,
                double(f.latencies.size()) / f.seconds, mw::bench::percentile(f.latencies, 0.5),
                mw::bench::percentile(f.latencies, 0.95), mw::bench::percentile(f.latencies, 0.99), f.errors,
                f.uploads, f.uploadErrors, peakRssKb(a.pid()) / 1024.0, peakRssKb(b.pid()) / 1024.0);
    std::fflush(stdout);
  }
  return 0;
}
