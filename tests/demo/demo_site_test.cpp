#include "demo/demo_site.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "demo/content_catalog.h"
#include "demo/program_sites.h"
#include "net/encoding.h"
#include "runtime/files.h"
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

TEST(ProgramSites, OptionFileBesideProgramAndEmbeddedDefault) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("mw_program_sites_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  net::SiteSettings s;
  s.templateHost = s.searchHost = s.homeHost = s.announcementHost = s.probeHost = s.shareHost = s.groupHost =
      "sites.example:8080";
  s.probeMarker = kProbeMarker;
  const std::string good = (dir / "good.ini").string();
  std::ofstream(good) << net::formatSiteSettings(s);

  // Neither option nor file: the embedded demo site, started once, answering on loopback.
  const ProgramSites embedded = programSites({"-platform", "offscreen"}, dir.string());
  ASSERT_TRUE(embedded.ok) << embedded.error;
  EXPECT_EQ(embedded.source, "embedded demo site");
  EXPECT_EQ(programSites({}, dir.string()).settings, embedded.settings);
  const std::string probeHost = embedded.settings.probeHost;
  httplib::Client probe("127.0.0.1", std::stoi(probeHost.substr(probeHost.find(':') + 1)));
  auto res = probe.Get("/");
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find(embedded.settings.probeMarker), std::string::npos);

  // The option wins over the file beside the program, in both spellings.
  std::ofstream(dir / "MW_sites.ini") << "[sites]\ntemplate = broken/\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--sites", good}, std::vector<std::string>{"--sites=" + good}}) {
    const ProgramSites chosen = programSites(args, dir.string());
    ASSERT_TRUE(chosen.ok) << chosen.error;
    EXPECT_EQ(chosen.settings, s);
    EXPECT_EQ(chosen.source, good);
  }
  // A broken file beside the program stops the start instead of falling back to the demo site.
  const ProgramSites broken = programSites({}, dir.string());
  EXPECT_FALSE(broken.ok);
  EXPECT_NE(broken.error.find((dir / "MW_sites.ini").string() + ": key \"template\""), std::string::npos)
      << broken.error;
  // The program's folder comes as a program text: a Chinese folder name still finds the file.
  const fs::path chinese = dir / "表情程序";
  fs::create_directories(chinese);
  fs::copy_file(good, chinese / "MW_sites.ini");
  const ProgramSites inChinese = programSites({}, pathText(chinese.string()));
  ASSERT_TRUE(inChinese.ok) << inChinese.error;
  EXPECT_EQ(inChinese.source, (chinese / "MW_sites.ini").string());
  EXPECT_EQ(inChinese.settings, s);
  EXPECT_FALSE(programSites({"--sites"}, dir.string()).ok);
  EXPECT_NE(programSites({"--sites", (dir / "absent.ini").string()}, dir.string()).error.find("cannot read"),
            std::string::npos);

  stopEmbeddedDemoSite();
  EXPECT_FALSE(probe.Get("/"));
  fs::remove_all(dir);
}
