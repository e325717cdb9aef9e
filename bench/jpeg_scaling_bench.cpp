// Showing a 1024 x 1024 JPEG in a 152 x 184 picture box: decoding it smaller with libjpeg's DCT
// scaling and then fitting it, against decoding it whole and then fitting it. Both end with the
// same 152 x 152 picture the box shows, resampled as the box resamples it.
//
// BM_Interleaved runs the two one after the other in every round, so that the load of a shared
// machine falls on both alike, and reports the medians and their ratio, by wall and CPU time.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "picture/picture.h"
#include "picture/picture_decoder.h"

namespace {

const QSize kBox(152, 184);

// A photo-like picture: a sky gradient under soft coloured blobs, saved at
// libjpeg's default quality 75.
const std::string& testJpeg() {
  static const std::string bytes = [] {
    const QImage img = mw::bench::photoLikePicture(1024, 1024);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "JPG", 75)) std::abort();
    return data.toStdString();
  }();
  return bytes;
}

// What a picture box in mode 2 does with a decoded picture.
QImage fitToBox(const mw::picture::DecodedPicture& picture) {
  using namespace mw::picture;
  const QRect shown = placePicture(picture.naturalSize, QRect(QPoint(), kBox), DisplayMode::CentredFit);
  return scaledForDisplay(picture.image, shown.size());
}

QImage scaledDecode(const std::string& jpeg) {
  const auto picture = mw::picture::decodePicture(jpeg, kBox);
  if (!picture.ok() || picture.image.width() != 256) std::abort();
  return fitToBox(picture);
}

QImage fullDecode(const std::string& jpeg) {
  const auto picture = mw::picture::decodePicture(jpeg);
  if (!picture.ok() || picture.image.width() != 1024) std::abort();
  return fitToBox(picture);
}

void BM_DctScaledDecode(benchmark::State& state) {
  const std::string& jpeg = testJpeg();
  for (auto _ : state) benchmark::DoNotOptimize(scaledDecode(jpeg));
}
// CPU time of the whole process: Qt's smooth scaling spreads its work over a thread pool.
BENCHMARK(BM_DctScaledDecode)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_FullDecodeThenScale(benchmark::State& state) {
  const std::string& jpeg = testJpeg();
  for (auto _ : state) benchmark::DoNotOptimize(fullDecode(jpeg));
}
BENCHMARK(BM_FullDecodeThenScale)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

struct Timing {
  double wallMs, cpuMs;
};

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

Timing timed(QImage (*decode)(const std::string&), const std::string& jpeg) {
  const auto wall = std::chrono::steady_clock::now();
  const double cpu = processCpuMs();
  benchmark::DoNotOptimize(decode(jpeg));
  return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count(),
          processCpuMs() - cpu};
}

void BM_Interleaved(benchmark::State& state) {
  const std::string& jpeg = testJpeg();
  std::vector<double> scaledWall, scaledCpu, fullWall, fullCpu;
  bool scaledFirst = true;
  for (auto _ : state) {
    Timing scaled{}, full{};
    if (scaledFirst) {
      scaled = timed(scaledDecode, jpeg);
      full = timed(fullDecode, jpeg);
    } else {
      full = timed(fullDecode, jpeg);
      scaled = timed(scaledDecode, jpeg);
    }
    scaledFirst = !scaledFirst;
    scaledWall.push_back(scaled.wallMs);
    scaledCpu.push_back(scaled.cpuMs);
    fullWall.push_back(full.wallMs);
    fullCpu.push_back(full.cpuMs);
  }
  using mw::bench::median;
  const double sw = median(scaledWall), sc = median(scaledCpu), fw = median(fullWall), fc = median(fullCpu);
  state.counters["scaled_wall_ms"] = sw;
  state.counters["full_wall_ms"] = fw;
  state.counters["wall_ratio"] = fw / sw;
  state.counters["scaled_cpu_ms"] = sc;
  state.counters["full_cpu_ms"] = fc;
  state.counters["cpu_ratio"] = fc / sc;
}
BENCHMARK(BM_Interleaved)->Iterations(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
