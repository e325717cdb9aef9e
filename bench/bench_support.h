#pragma once
// What the benchmarks share: a photo-like picture, a press delivered as the window delivers
// it, and timing.
#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "demo/demo_site.h"

namespace mw::bench {

// A sky gradient under soft coloured blobs; the same picture for the same size.
inline QImage photoLikePicture(int width, int height) {
  QImage img(width, height, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(40, 90, 170));
  sky.setColorAt(1, QColor(250, 200, 140));
  p.fillRect(img.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing);
  std::mt19937 rng(7);
  for (int i = 0; i < 60; ++i) {
    QRadialGradient g(rng() % width, rng() % height, 40 + rng() % 160);
    g.setColorAt(0, QColor(rng() % 256, rng() % 256, rng() % 256, 200));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(img.rect(), g);
  }
  return img;
}

// Grain as a camera gives it: every pixel's channels moved alike by up to `spread` either way.
inline void addGrain(QImage& image, int spread) {
  std::mt19937 rng(11);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int n = int(rng() % unsigned(2 * spread + 1)) - spread;
      const QRgb c = line[x];
      line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                     std::clamp(qBlue(c) + n, 0, 255));
    }
  }
}

// A left-button press on the widget, delivered as the window would deliver it.
inline void press(QWidget* w) {
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

// Waits for `done` in steps of a millisecond, processing events (QTest::qWaitFor sleeps ten
// between looks); false when it did not come within `ms`.
template <typename Done>
bool waitUntil(Done done, int ms = 10000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The demo site answering each response after `latencyMs`, `workers` of them at once, as a
// remote site would; null, the reason printed, when it cannot start.
inline std::unique_ptr<demo::DemoSite> startDemoSite(int latencyMs, int workers) {
  demo::DemoOptions options;
  options.latencyMs = latencyMs;
  options.workerThreads = workers;
  auto site = std::make_unique<demo::DemoSite>(options);
  std::string error;
  if (site->start(&error)) return site;
  std::fprintf(stderr, "demo site: %s\n", error.c_str());
  return nullptr;
}

// Runs two ways of doing the same work `rounds` times, taking turns at going first, so that
// both see the same machine load and neither always finds the caches warmed by the other.
template <typename First, typename Second>
void interleaved(int rounds, First first, Second second) {
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      first();
      second();
    } else {
      second();
      first();
    }
  }
}

inline double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace mw::bench
