// From the press on 网络所有编辑 until the eight thumbnails are shown, against the demo site
// answering every response after 100 ms: the program's load (eight downloads side by side)
// against the same load with the downloads one after the other, in the same run.
#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "browse/template_list.h"
#include "demo/demo_site.h"
#include "net/fetch_page.h"
#include "net/web_request.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using mw::bench::median;
using mw::bench::millisecondsSince;
using mw::bench::press;

constexpr int kLatencyMs = 100;
constexpr int kRounds = 7;

// The same load with one download after the other.
void loadAllListOneByOne(mw::shell::Program& p) {
  using namespace mw::browse;
  const mw::Text base = p.sites.templateBase();
  p.state.list.listImageUrls.clear();
  const auto items = listPageItems(mw::net::webRequest(base + "/face/ListWithImage.aspx"),
                                   allListBlockStart(), allListBlockEnd());
  appendThumbnailUrls(items, base, p.state.list.listImageUrls);
  for (int k = 1; k <= 8; ++k)
    p.main.slot(8 + k)->setPicture(mw::net::fetchPage(p.state.list.listImageUrls[size_t(k - 1)]));
}

bool allShown(const mw::shell::Program& p) {
  for (int k = 9; k <= 16; ++k)
    if (p.main.slot(k)->picture().empty()) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const auto site = mw::bench::startDemoSite(kLatencyMs, 8);  // all eight downloads at once
  if (!site) return 1;
  mw::test::ScriptedDesktop desk;  // a message box would stop the run
  mw::test::TempPlaces places;
  mw::shell::Program p([](std::string_view) { return mw::Bytes(); }, site->settings(), desk, places);
  p.main.选择夹1->setCurrentPage(1);

  std::vector<double> sideBySide, oneByOne;
  for (int round = 0; round < kRounds; ++round) {
    for (int k = 9; k <= 16; ++k) p.main.slot(k)->setPicture({});
    auto start = std::chrono::steady_clock::now();
    press(p.main.网络所有编辑);
    sideBySide.push_back(millisecondsSince(start));
    if (!allShown(p)) std::fprintf(stderr, "round %d: side by side left a box empty\n", round);

    for (int k = 9; k <= 16; ++k) p.main.slot(k)->setPicture({});
    start = std::chrono::steady_clock::now();
    loadAllListOneByOne(p);
    oneByOne.push_back(millisecondsSince(start));
    if (!allShown(p)) std::fprintf(stderr, "round %d: one by one left a box empty\n", round);
  }
  if (!desk.calls.empty())
    std::fprintf(stderr, "unexpected message: %s\n", mw::runtime::utf8(desk.calls[0].text).c_str());

  const double a = median(sideBySide), b = median(oneByOne);
  std::printf("press on 网络所有编辑 until eight thumbnails shown, %d ms per response, median of %d rounds\n",
              kLatencyMs, kRounds);
  std::printf("  side by side      %7.1f ms  (%.2fx one response)\n", a, a / kLatencyMs);
  std::printf("  one after another %7.1f ms  (%.2fx one response)\n", b, b / kLatencyMs);
  std::printf("  rounds side by side:");
  for (double v : sideBySide) std::printf(" %.0f", v);
  std::printf("\n  rounds one by one:   ");
  for (double v : oneByOne) std::printf(" %.0f", v);
  std::printf("\n");
  site->stop();
  return 0;
}
