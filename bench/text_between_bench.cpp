// textBetweenAll over generated GBK list pages, against a bare memmem scan for the start
// marker over the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>

#include "runtime/markers.h"

using namespace mw::runtime::literals;

namespace {

constexpr std::size_t kItemBytes = 400;
const char* const kStart = "<li><a href";
const char* const kEnd = "<div class=\"title\"><span>";

// A page of list items, one per 400 bytes: markup, a GBK title and GBK filler text.
const mw::Text& page(std::size_t mebibytes) {
  static std::map<std::size_t, mw::Text> pages;
  auto& text = pages[mebibytes];
  if (!text.empty()) return text;
  const std::size_t size = mebibytes << 20;
  const mw::Text title = "熊猫头表情包"_gbk;
  const mw::Text filler = "　这是一段说明文字，Memwick 表情模板。"_gbk;
  text.reserve(size + kItemBytes);
  for (std::size_t id = 0; text.size() + kItemBytes <= size; ++id) {
    mw::Text item = "<li><a href=\"/face/make.aspx?id=" + std::to_string(id) +
                    "\" target=\"_blank\"><img src=\"/pic/" + std::to_string(id) + ".jpg\" alt=\"" + title +
                    "\"/></a>" + kEnd + " " + title + " </span></div>";
    while (item.size() + filler.size() + 6 <= kItemBytes) item += filler;
    item += "</li>";
    item.append(kItemBytes - item.size(), '\n');
    text += item;
  }
  return text;
}

void BM_TextBetweenAllListOptions(benchmark::State& state) {
  const mw::Text& text = page(static_cast<std::size_t>(state.range(0)));
  mw::TextArray out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        mw::runtime::textBetweenAll(text, kStart, kEnd, out, true, 0, {}, {}, false, true, 1));
  }
  state.counters["items"] = static_cast<double>(out.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_TextBetweenAllIgnoreCase(benchmark::State& state) {
  const mw::Text& text = page(static_cast<std::size_t>(state.range(0)));
  mw::TextArray out;
  for (auto _ : state) benchmark::DoNotOptimize(mw::runtime::textBetweenAll(text, kStart, kEnd, out));
  state.counters["items"] = static_cast<double>(out.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_MemmemScan(benchmark::State& state) {
  const mw::Text& text = page(static_cast<std::size_t>(state.range(0)));
  const std::size_t startLength = std::strlen(kStart);
  std::size_t found = 0;
  for (auto _ : state) {
    found = 0;
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    while (const void* hit = memmem(p, static_cast<std::size_t>(end - p), kStart, startLength)) {
      ++found;
      p = static_cast<const char*>(hit) + startLength;
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["items"] = static_cast<double>(found);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_TextBetweenAllListOptions)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextBetweenAllIgnoreCase)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemmemScan)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
