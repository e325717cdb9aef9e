// The 网络制作 page against the demo site answering every response after 100 ms: a thumbnail
// press until the make page is shown (its picture and page fetched side by side) against the
// same two requests one after the other, and a 网络_生成 press until the made picture is shown
// against its three requests (GET, POST, picture) made bare one after the other.
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "actions/captioning.h"
#include "bench_support.h"
#include "demo/demo_site.h"
#include "net/fetch_page.h"
#include "net/web_request.h"
#include "runtime/markers.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using namespace mw;
using bench::median;
using bench::millisecondsSince;
using bench::waitUntil;
using Clock = std::chrono::steady_clock;

constexpr int kLatencyMs = 100;
constexpr int kRounds = 7;

// What the page would ask for a 网络_生成 press, one request after the other.
void generateBare(const Text& base, const Text& thumb, const Text& post) {
  const Text address = actions::makePageUrl(base, thumb);
  net::webRequest(address);
  const Text answer = net::webRequest(address, 1, post);
  net::fetchPage(base + "/face/" +
                 runtime::textBetween(answer, "class=\"JIATHIS_IMG_OK\" src=\"", "\" style="));
}

// Whether the program started and holds the template list its presses need.
bool startedWithList(shell::Program& p) {
  p.start();
  return QTest::qWaitFor(
             [&] {
               return p.registry.runs(p.main.主窗口, toolkit::Event::FirstActivation) > 0 &&
                      !p.registry.gate().busy();
             },
             30000) &&
         p.state.list.listImageUrls.size() >= 8;
}

struct Timings {
  std::vector<double> open, openOneByOne, generate, generateOneByOne;
};

// A press on the thumbnail in `slot` until the make page is shown, then its two requests one
// after the other.
void timeOpen(shell::Program& p, const Text& base, int slot, int round, Timings& t) {
  auto& f = p.main;
  const Text thumb = p.state.list.listImageUrls[std::size_t(slot) - 1];
  f.showPage(forms::Page::Edit);
  f.网络_预览->setPicture({});
  auto start = Clock::now();
  bench::press(f.slot(8 + slot));
  const bool opened =
      waitUntil([&] { return f.page() == forms::Page::Online && f.网络_预览->pictureView().shown(); });
  t.open.push_back(millisecondsSince(start));
  if (!opened) std::fprintf(stderr, "round %d: the make page was not shown\n", round);

  start = Clock::now();
  net::fetchPage(thumb);
  net::webRequest(actions::makePageUrl(base, thumb));
  t.openOneByOne.push_back(millisecondsSince(start));
}

// A 网络_生成 press on the opened template until the made picture is shown, then its three
// requests bare.
void timeGenerate(shell::Program& p, const Text& base, const Text& thumb, int round, Timings& t) {
  auto& f = p.main;
  f.网络_编辑框_1->setText("你好"_gbk);
  f.网络_编辑框_2->setText("round " + std::to_string(round));
  const Bytes before = f.网络_预览->picture();
  auto start = Clock::now();
  bench::press(f.网络_生成);
  const bool made = waitUntil([&] {
    return f.网络_预览->picture() != before && !f.网络_预览->pictureView().decoding() &&
           f.网络_预览->pictureView().shown();
  });
  t.generate.push_back(millisecondsSince(start));
  if (!made) std::fprintf(stderr, "round %d: no made picture was shown\n", round);

  TextArray lines;
  for (int i = 0; i < p.state.make.captionLineCount; ++i) lines.push_back("x");
  const Text post = actions::captionPostData(net::webRequest(actions::makePageUrl(base, thumb)), lines);
  start = Clock::now();
  generateBare(base, thumb, post);
  t.generateOneByOne.push_back(millisecondsSince(start));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const auto site = bench::startDemoSite(kLatencyMs, demo::DemoOptions{}.workerThreads);
  if (!site) return 1;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  shell::Program p([](std::string_view) { return Bytes(); }, site->settings(), desk, places);
  if (!startedWithList(p)) {
    std::fprintf(stderr, "start-up did not load the template list\n");
    return 1;
  }
  const Text base = p.sites.templateBase();

  Timings t;
  for (int round = 0; round < kRounds; ++round) {
    const int slot = 1 + round % 8;
    timeOpen(p, base, slot, round, t);
    timeGenerate(p, base, p.state.list.listImageUrls[std::size_t(slot) - 1], round, t);
  }

  const auto line = [](const char* what, double ms) {
    std::printf("  %-48s %7.1f ms  (%.2fx one response)\n", what, ms, ms / kLatencyMs);
  };
  std::printf("网络制作 page, %d ms per response, median of %d rounds\n", kLatencyMs, kRounds);
  line("thumbnail press until the make page is shown", median(t.open));
  line("  its two requests one after the other", median(t.openOneByOne));
  line("generate press until the made picture is shown", median(t.generate));
  line("  its three requests bare, one after another", median(t.generateOneByOne));
  p.update.更新窗口->destroyWindow();
  p.main.主窗口->destroyWindow();
  site->stop();
  return 0;
}
