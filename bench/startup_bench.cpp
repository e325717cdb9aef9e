// From the program's start until all sixteen picture boxes show their pictures, against the
// demo site answering every response after 100 ms: the program's start-up (independent
// requests side by side) against the same requests one after the other, in the same run.
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "browse/template_list.h"
#include "demo/demo_site.h"
#include "net/fetch_page.h"
#include "net/web_request.h"
#include "runtime/markers.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using mw::bench::median;
using mw::bench::millisecondsSince;

constexpr int kLatencyMs = 100;
constexpr int kRounds = 5;

bool allShown(const mw::shell::Program& p) {
  for (int k = 1; k <= 16; ++k)
    if (p.main.slot(k)->picture().empty()) return false;
  return true;
}

// The start-up's requests one after the other, each picture into its box as it comes.
void startOneByOne(mw::shell::Program& p) {
  using namespace mw;
  const auto& s = p.sites;
  net::fetchPage(s.probeBase() + "/");
  net::webRequest(s.announcementBase() + "/forum/thread-2833224-1-1.html");
  net::webRequest(s.homeBase() + "/");
  TextArray pieces;
  runtime::textBetweenAll(net::webRequest(s.searchBase() + "/a/new/"),
                          "type=\"text/javascript\">document.getElementById", "</span></a></LI>", pieces);
  for (int k = 0; k < 8 && k < int(pieces.size()); ++k) {
    const Text url = runtime::textBetween(pieces[size_t(k)], ").src = \"", "\"; </script><LI><", 1, true);
    p.main.slot(k + 1)->setPicture(net::fetchPage(url));
  }
  TextArray thumbnails;
  browse::appendThumbnailUrls(
      browse::latestListItems(net::webRequest(browse::latestListUrl(s.templateBase()))), s.templateBase(),
      thumbnails);
  for (int k = 0; k < 8 && k < int(thumbnails.size()); ++k)
    p.main.slot(9 + k)->setPicture(net::fetchPage(thumbnails[size_t(k)]));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const auto site = mw::bench::startDemoSite(kLatencyMs, 16);  // all sixteen pictures at once
  if (!site) return 1;
  const auto noPictures = [](std::string_view) { return mw::Bytes(); };

  std::vector<double> sideBySide, oneByOne;
  for (int round = 0; round < kRounds; ++round) {
    {
      mw::test::ScriptedDesktop desk;
      mw::test::TempPlaces places;
      auto p = std::make_unique<mw::shell::Program>(noPictures, site->settings(), desk, places);
      const auto start = std::chrono::steady_clock::now();
      p->start();
      const bool done = QTest::qWaitFor(
          [&] {
            return allShown(*p) &&
                   p->registry.runs(p->main.主窗口, mw::toolkit::Event::FirstActivation) > 0 &&
                   !p->registry.gate().busy();
          },
          30000);
      sideBySide.push_back(millisecondsSince(start));
      if (!done) std::fprintf(stderr, "round %d: start-up left a box empty\n", round);
    }
    {
      mw::test::ScriptedDesktop desk;
      mw::test::TempPlaces places;
      mw::shell::Program p(noPictures, site->settings(), desk, places);
      const auto start = std::chrono::steady_clock::now();
      startOneByOne(p);
      oneByOne.push_back(millisecondsSince(start));
      if (!allShown(p)) std::fprintf(stderr, "round %d: one by one left a box empty\n", round);
    }
  }

  const double a = median(sideBySide), b = median(oneByOne);
  std::printf("program start until sixteen pictures shown, %d ms per response, median of %d rounds\n",
              kLatencyMs, kRounds);
  std::printf("  start-up (side by side) %7.1f ms  (%.2fx one response)\n", a, a / kLatencyMs);
  std::printf("  one after another      %7.1f ms  (%.2fx one response)\n", b, b / kLatencyMs);
  site->stop();
  return 0;
}
