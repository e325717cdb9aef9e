#include "demo/demo_site.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "demo/content_catalog.h"
#include "net/encoding.h"
#include "net/fetch_page.h"
#include "net/site_settings.h"
#include "net/web_request.h"
#include "runtime/markers.h"
#include "runtime/text.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::demo;

namespace {

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
  return n;
}

QImage decode(const std::string& bytes) {
  return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
}

class DemoSiteTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    site = new DemoSite();
    std::string error;
    ASSERT_TRUE(site->start(&error)) << error;
  }
  static void TearDownTestSuite() {
    delete site;
    site = nullptr;
  }
  static httplib::Client client(Site which) { return httplib::Client("127.0.0.1", site->port(which)); }

  static inline DemoSite* site = nullptr;
};

}  // namespace

TEST_F(DemoSiteTest, PagesBeyondTheListAndUnknownIdsAreEmpty) {
  auto tpl = client(Site::Template);
  // Pages beyond the list are empty, not errors; the first page has two addresses.
  const std::string itemStart = "<li><a href";
  EXPECT_EQ(tpl.Get("/face/ListWithImage.aspx")->body, tpl.Get("/face/ListWithImage.aspx?pn=1")->body);
  for (const char* beyond : {"?pn=0", "?pn=38", "?pn=-1", "?pn=x"}) {
    auto res = tpl.Get(std::string("/face/ListWithImage.aspx") + beyond);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(occurrences(res->body, itemStart), 0) << beyond;
  }
  // Every id of the full list has a thumbnail; ids beyond it have none.
  for (int id : {1, 24, 25, 1665}) {
    auto thumb = tpl.Get("/store/face/" + std::to_string(id) + "/thumbnail.jpg");
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_FALSE(decode(thumb->body).isNull()) << id;
  }
  EXPECT_EQ(tpl.Get("/store/face/1666/thumbnail.jpg")->status, 404);
  EXPECT_EQ(tpl.Get("/store/face/0/thumbnail.jpg")->status, 404);

  // Result pages past the last are empty too, however large the number (表情 in GBK).
  auto search = client(Site::Search);
  const std::string query = "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9&PageNo=";
  auto snippets = [&](const std::string& pageNo) {
    auto res = search.Get(query + pageNo);
    return res && res->status == 200 ? occurrences(res->body, "title=\"") : -1;
  };
  const int last = snippets("3");
  ASSERT_GT(last, 0);
  ASSERT_LE(last, 20);
  for (const char* pageNo : {"4", "107374184", "999999999"}) EXPECT_EQ(snippets(pageNo), 0) << pageNo;
}

TEST_F(DemoSiteTest, OversizedFormPostIsRefused) {
  auto tpl = client(Site::Template);
  // The server may close the connection while the body is still being sent.
  auto res = tpl.Post("/face/make.aspx?id=1", std::string(4 << 20, 'a'), "application/x-www-form-urlencoded");
  if (res) {
    EXPECT_EQ(res->status, 413);
  }
  // The site goes on serving.
  auto page = tpl.Get("/face/make.aspx?id=1");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
}

TEST(DemoSiteOptions, LatencyFailuresVersionAndPorts) {
  DemoOptions options;
  options.latencyMs = 120;
  options.failureRate = 0.5;
  options.newestVersion = "2.0";
  options.readCounterStart = 500;
  DemoSite site(options);
  ASSERT_TRUE(site.start());
  httplib::Client home("127.0.0.1", site.port(Site::Home));
  int failures = 0, answered = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    auto res = home.Get("/");
    ASSERT_TRUE(res);
    if (res->status == 503) {
      ++failures;
    } else {
      ++answered;
      EXPECT_EQ(textBetween(gbk(res->body), "文本1"_gbk, "文本1"_gbk), "2.0");
    }
  }
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20 * 120));
  EXPECT_GT(failures, 2);
  EXPECT_GT(answered, 2);
  EXPECT_EQ(site.requestCount(), 20);

  // Fixed ports: the sites take base .. base + 6; a port in use fails the start and leaves
  // nothing listening.
  httplib::Server blocker;
  const int busy = blocker.bind_to_any_port("127.0.0.1");
  ASSERT_GT(busy, 0);
  DemoOptions fixed;
  fixed.basePort = busy;
  DemoSite clash(fixed);
  std::string error;
  EXPECT_FALSE(clash.start(&error));
  EXPECT_NE(error.find("port " + std::to_string(busy)), std::string::npos) << error;
  EXPECT_FALSE(clash.running());
  bool started = false;
  for (int base = 21000 + (::getpid() % 200) * 40; base < 60000 && !started; base += 997) {
    fixed.basePort = base;
    DemoSite placed(fixed);
    if (!placed.start()) continue;
    started = true;
    for (int i = 0; i < kSiteCount; ++i) EXPECT_EQ(placed.port(static_cast<Site>(i)), base + i);
    EXPECT_EQ(placed.settings().groupHost, "127.0.0.1:" + std::to_string(base + 6));
    httplib::Client probe("127.0.0.1", base + static_cast<int>(Site::Probe));
    auto res = probe.Get("/");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find(kProbeMarker), std::string::npos);
  }
  EXPECT_TRUE(started);
}

// Without a sites file the program runs this site; it serves while its owner keeps it.
TEST(ProgramSites, EmbeddedSiteServesWhileItsOwnerKeepsIt) {
  auto site = std::make_unique<DemoSite>();
  const net::ProgramSites sites = startAsProgramSites(*site);
  ASSERT_TRUE(sites.ok) << sites.error;
  EXPECT_TRUE(sites.embedded);
  EXPECT_EQ(sites.source, "embedded demo site");
  EXPECT_EQ(sites.settings, site->settings());
  httplib::Client probe("127.0.0.1", site->port(Site::Probe));
  auto res = probe.Get("/");
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find(sites.settings.probeMarker), std::string::npos);
  site.reset();
  EXPECT_FALSE(probe.Get("/"));

  // A start that fails says so.
  httplib::Server blocker;
  DemoOptions fixed;
  fixed.basePort = blocker.bind_to_any_port("127.0.0.1");
  DemoSite clash(fixed);
  const net::ProgramSites failed = startAsProgramSites(clash);
  EXPECT_FALSE(failed.ok);
  EXPECT_TRUE(failed.error.starts_with("cannot start the embedded demo site: ")) << failed.error;
}

// With the Host check on, only requests naming the address served reach a page: a web page
// rebound to loopback names its own host, and a client of another site its port.
TEST(DemoSiteOptions, HostCheckRefusesRequestsMadeForAnotherHost) {
  DemoOptions options;
  options.checkHost = true;
  DemoSite site(options);
  ASSERT_TRUE(site.start());
  const int port = site.port(Site::Search);
  httplib::Client search("127.0.0.1", port);
  const auto status = [&](const std::string& host) {
    auto res = host.empty() ? search.Get("/a/new/") : search.Get("/a/new/", {{"Host", host}});
    return res ? res->status : -1;
  };
  const std::string p = ":" + std::to_string(port);
  EXPECT_EQ(status(""), 200);
  EXPECT_EQ(status("LocalHost" + p), 200);
  for (const std::string& host :
       std::vector<std::string>{"rebound.example" + p, "127.0.0.1", "127.0.0.1:" + std::to_string(port + 1),
                                "127.0.0.1" + p + ".rebound.example", "[::1]" + p})
    EXPECT_EQ(status(host), 403) << host;
}

// Listening on IPv6 loopback, the settings name the sites in brackets, and the program's
// requests reach them through those, the Host check included.
TEST(DemoSiteOptions, Ipv6SitesAreNamedInBrackets) {
  if (httplib::Server probe; probe.bind_to_any_port("::1") <= 0) GTEST_SKIP() << "no IPv6 loopback";
  DemoSite site({.bindAddress = "::1", .checkHost = true});
  ASSERT_TRUE(site.start());
  const auto read = parseSiteSettings(formatSiteSettings(site.settings()), "MW_sites.ini");
  ASSERT_TRUE(read.settings) << read.error;
  EXPECT_EQ(read.settings->probeHost, "[::1]:" + std::to_string(site.port(Site::Probe)));
  EXPECT_NE(fetchPage(read.settings->probeBase() + "/").find(kProbeMarker), std::string::npos);
  const Text found = webRequest(read.settings->searchBase() + "/plus/search.php?q=%B1%ED%C7%E9");
  EXPECT_NE(found.find("http://" + read.settings->searchHost + "/uploads/"), std::string::npos);
}

// The seven sites run on one small pool: a thread to listen per site, the shared workers and
// the thread that watches the waiting connections.
TEST(DemoSitePool, SevenSitesShareTheWorkerThreads) {
  auto threads = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
  };
  const auto before = threads();
  {
    DemoSite site;
    ASSERT_TRUE(site.start());
    EXPECT_EQ(threads() - before, kSiteCount + DemoOptions().workerThreads + 1);
    // Busy from every side, the site still has no more threads.
    std::vector<std::thread> clients;
    std::atomic<int> answered{0};
    for (int i = 0; i < 16; ++i) {
      clients.emplace_back([&, i] {
        httplib::Client c("127.0.0.1", site.port(static_cast<Site>(i % kSiteCount)));
        if (auto res = c.Get(i % kSiteCount == static_cast<int>(Site::Template) ? "/face/New.aspx" : "/"))
          answered += res->status != 0;
      });
    }
    for (auto& c : clients) c.join();
    EXPECT_EQ(answered, 16);
    EXPECT_EQ(threads() - before, kSiteCount + DemoOptions().workerThreads + 1);
  }
  EXPECT_EQ(threads(), before);
}

// Connections a client keeps open, after a request or without one, do not hold the workers
// every site needs: between requests they wait in the idle watch. A kept connection carries the
// next request.
TEST(DemoSitePool, OpenConnectionsDoNotStarveTheSites) {
  DemoSite site;
  ASSERT_TRUE(site.start());
  std::vector<int> held;
  auto connect = [&](Site which) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(site.port(which)));
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    held.push_back(fd);
    return fd;
  };
  for (int i = 0; i < DemoOptions().workerThreads; ++i) {
    const int fd = connect(Site::Template);
    const std::string request =
        "GET /face/make.aspx?id=1 HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    char buffer[256];
    ASSERT_GT(::recv(fd, buffer, sizeof buffer, 0), 0);
    connect(Site::Share);  // and one that never asks
  }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSiteCount; ++i) {
    httplib::Client c("127.0.0.1", site.port(static_cast<Site>(i)));
    EXPECT_TRUE(c.Get("/")) << i;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
  for (int fd : held) ::close(fd);

  // Two requests, one connection: the answer to the first leaves it open for the second.
  const int fd = connect(Site::Probe);
  for (int i = 0; i < 2; ++i) {
    const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    std::string answer;
    char buffer[4096];
    while (answer.find("</html>\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      ASSERT_GT(n, 0) << i;
      answer.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_NE(answer.find("Keep-Alive: timeout=30"), std::string::npos) << answer;
  }
  ::close(fd);
}
