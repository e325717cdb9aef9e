// Showing a 1024 x 1024 JPEG in a 152 x 184 picture box: decoding it smaller with libjpeg's DCT
// scaling and then fitting it, against decoding it whole and then fitting it. Both end with the
// same 152 x 152 picture the box shows.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "toolkit/picture_decoder.h"

namespace {

const QSize kBox(152, 184);

// A photo-like picture: a sky gradient under soft coloured blobs, saved at
// libjpeg's default quality 75.
const std::string& testJpeg() {
  static const std::string bytes = [] {
    QImage img(1024, 1024, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient sky(0, 0, 0, 1024);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 200, 140));
    p.fillRect(img.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    std::mt19937 rng(7);
    for (int i = 0; i < 60; ++i) {
      QRadialGradient g(rng() % 1024, rng() % 1024, 40 + rng() % 160);
      g.setColorAt(0, QColor(rng() % 256, rng() % 256, rng() % 256, 200));
      g.setColorAt(1, QColor(0, 0, 0, 0));
      p.fillRect(img.rect(), g);
    }
    p.end();
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "JPG", 75)) std::abort();
    return data.toStdString();
  }();
  return bytes;
}

QImage fitToBox(const QImage& decoded) {
  return decoded.scaled(kBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void BM_DctScaledDecode(benchmark::State& state) {
  const std::string& jpeg = testJpeg();
  for (auto _ : state) {
    const auto picture = mw::toolkit::decodePicture(jpeg, kBox);
    if (!picture.ok() || picture.frames[0].image.width() != 256) state.SkipWithError("unexpected decode");
    benchmark::DoNotOptimize(fitToBox(picture.frames[0].image));
  }
}
// CPU time of the whole process: Qt's smooth scaling spreads its work over a thread pool.
BENCHMARK(BM_DctScaledDecode)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_FullDecodeThenScale(benchmark::State& state) {
  const std::string& jpeg = testJpeg();
  for (auto _ : state) {
    const auto picture = mw::toolkit::decodePicture(jpeg);
    if (!picture.ok() || picture.frames[0].image.width() != 1024) state.SkipWithError("unexpected decode");
    benchmark::DoNotOptimize(fitToBox(picture.frames[0].image));
  }
}
BENCHMARK(BM_FullDecodeThenScale)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
