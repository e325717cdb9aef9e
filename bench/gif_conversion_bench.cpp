// An animated WebP of 30 frames at 480 x 480 turned into an animated GIF and placed on the
// clipboard as a copy places it (its file written, then offered), in CPU time on one core: our
// way (libimagequant's palette, shared where it serves, our own dithering, only changes
// written) against libimagequant quantising and remapping every whole frame, in the same run,
// their order turning every round. For a sticker of flat colours (opaque, and on a transparent
// ground), a photo-like scene with something moving in it, and a pan across a photo. Also shows
// each GIF's size and how far its frames are from the WebP's (PSNR, as Qt's GIF reader composes
// them).
//
// Usage: gif_conversion_bench [ROUNDS]   (default 7)
// Runs itself again pinned to one core, with libimagequant's OpenMP held to one thread.
#include <sched.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "picture/animation_frames.h"
#include "picture/gif_encoder.h"
#include "picture/picture_writers.h"
#include "platform/clipboard.h"
#include "support/temp_folder.h"

namespace {

using mw::picture::AnimationFrame;
using mw::picture::GifRemap;

constexpr int kSide = 480;
constexpr int kFrames = 30;
constexpr int kDelayMs = 40;

double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A round face on a flat ground, bouncing and blinking, with a caption: a chat sticker.
QImage sticker(int k, bool transparentGround) {
  QImage img(kSide, kSide, QImage::Format_RGBA8888);
  img.fill(transparentGround ? QColor(0, 0, 0, 0) : QColor(255, 255, 255));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double bounce = 20 * std::abs(std::sin(k * M_PI / 10));
  const QPointF c(240, 220 - bounce);
  p.setPen(QPen(QColor(60, 40, 20), 6));
  p.setBrush(QColor(255, 204, 51));
  p.drawEllipse(c, 150, 150);
  p.setBrush(QColor(60, 40, 20));
  const double eye = k % 10 < 2 ? 4 : 24;  // a blink
  p.drawEllipse(c + QPointF(-55, -40), 18, eye);
  p.drawEllipse(c + QPointF(55, -40), 18, eye);
  p.setBrush(QColor(220, 60, 60));
  p.drawChord(QRectF(c.x() - 70, c.y() + 10, 140, 60 + 20 * std::sin(k * M_PI / 5)), 180 * 16, 180 * 16);
  p.setPen(QColor(20, 20, 20));
  p.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 40, QFont::Bold));
  p.drawText(QRect(0, 390, kSide, 80), Qt::AlignCenter, QStringLiteral("开心到飞起"));
  return img;
}

// A photo with a soft shape crossing it.
QImage scene(int k) {
  static const QImage ground = [] {
    QImage g = mw::bench::photoLikePicture(kSide, kSide);
    mw::bench::addGrain(g, 6);
    return g.convertToFormat(QImage::Format_RGBA8888);
  }();
  QImage img = ground;
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient g(QPointF(60 + 12 * k, 260), 90);
  g.setColorAt(0, QColor(250, 240, 230));
  g.setColorAt(1, QColor(120, 60, 40, 0));
  p.fillRect(img.rect(), g);
  return img;
}

// A pan of 10 pixels a frame across a wider photo.
QImage pan(int k) {
  static const QImage wide = [] {
    QImage g = mw::bench::photoLikePicture(kSide + 10 * kFrames, kSide);
    mw::bench::addGrain(g, 4);
    return g.convertToFormat(QImage::Format_RGBA8888);
  }();
  return wide.copy(10 * k, 0, kSide, kSide);
}

// The frames as an animated lossy WebP (quality 75), as sites and sticker packs give them.
std::string animatedWebp(QImage (*frame)(int)) {
  std::vector<mw::picture::WebpFrame> frames;
  for (int k = 0; k < kFrames; ++k) frames.push_back({frame(k), kDelayMs});
  return mw::picture::writeAnimatedWebp(frames, 0, 75);
}

std::vector<AnimationFrame> decodeWebp(const std::string& webp) {
  return mw::picture::readAnimationFrames(webp).frames;
}

// Decoded, converted, written to its file and offered: what a click does with the WebP.
struct Timing {
  double decode = 0, convert = 0, place = 0;
  std::string gif;
};

Timing copy(const std::string& webp, GifRemap remap, const QString& file) {
  Timing t;
  double at = cpuMs();
  const std::vector<AnimationFrame> frames = decodeWebp(webp);
  t.decode = cpuMs() - at;
  at = cpuMs();
  t.gif = mw::picture::encodeAnimatedGif(frames, 0, nullptr, remap);
  t.convert = cpuMs() - at;
  at = cpuMs();
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly) ||
      out.write(t.gif.data(), qint64(t.gif.size())) != qint64(t.gif.size()))
    std::printf("cannot write %s\n", qPrintable(file));
  out.close();
  if (!mw::platform::placeFileOnClipboard(file, t.gif)) std::printf("not placed\n");
  t.place = cpuMs() - at;
  return t;
}

// How far the GIF's frames, as a reader composes them, are from the WebP's, in dB (opaque pixels
// against white, as a chat shows them); 0 when the frame counts differ.
double psnr(const std::string& webp, const std::string& gif) {
  const std::vector<AnimationFrame> frames = decodeWebp(webp);
  QByteArray bytes(gif.data(), qsizetype(gif.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "gif");
  double squared = 0;
  long long n = 0;
  for (const AnimationFrame& f : frames) {
    const QImage shown = reader.read();
    if (shown.isNull()) return 0;
    QImage a(kSide, kSide, QImage::Format_RGB32), b(a.size(), a.format());
    a.fill(Qt::white), b.fill(Qt::white);
    QPainter(&a).drawImage(0, 0, f.image);
    QPainter(&b).drawImage(0, 0, shown);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) squared += d * d, ++n;
      }
  }
  return reader.canRead() ? 0 : 10 * std::log10(255.0 * 255.0 / (squared / double(n)));
}

}  // namespace

int main(int argc, char** argv) {
  if (!getenv("OMP_NUM_THREADS")) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    setenv("OMP_NUM_THREADS", "1", 1);
    execv("/proc/self/exe", argv);
  }
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  mw::test::TempFolder folder;
  struct Kind {
    const char* name;
    QImage (*frame)(int);
  };
  const Kind kinds[] = {
      {"sticker, flat colours", [](int k) { return sticker(k, false); }},
      {"sticker, transparent", [](int k) { return sticker(k, true); }},
      {"photo-like scene", scene},
      {"pan across a photo", pan},
  };
  std::printf("%d frames of %d x %d, %d ms each; CPU ms on one core, median of %d rounds\n", kFrames, kSide,
              kSide, kDelayMs, rounds);
  std::printf("%-24s %8s | %8s %8s %8s %8s %9s %6s | %8s %9s %6s\n", "", "webp KB", "decode", "convert",
              "place", "ours", "gif KB", "PSNR", "library", "gif KB", "PSNR");
  for (const Kind& kind : kinds) {
    const std::string webp = animatedWebp(kind.frame);
    std::vector<double> decode, convert, place, ours, theirs;
    std::string ourGif, theirGif;
    int file = 0;
    mw::bench::interleaved(
        rounds,
        [&] {
          const Timing t =
              copy(webp, GifRemap::Own,
                   QString::fromStdString((folder.path() / (std::to_string(++file) + ".gif")).string()));
          decode.push_back(t.decode), convert.push_back(t.convert), place.push_back(t.place);
          ours.push_back(t.decode + t.convert + t.place);
          ourGif = t.gif;
        },
        [&] {
          const Timing t =
              copy(webp, GifRemap::Library,
                   QString::fromStdString((folder.path() / (std::to_string(++file) + ".gif")).string()));
          theirs.push_back(t.decode + t.convert + t.place);
          theirGif = t.gif;
        });
    using mw::bench::median;
    std::printf("%-24s %8.0f | %8.1f %8.1f %8.1f %8.1f %9.0f %6.1f | %8.1f %9.0f %6.1f\n", kind.name,
                double(webp.size()) / 1024, median(decode), median(convert), median(place), median(ours),
                double(ourGif.size()) / 1024, psnr(webp, ourGif), median(theirs),
                double(theirGif.size()) / 1024, psnr(webp, theirGif));
  }
  std::printf("goal: ours <= 150 ms for each\n");
  return 0;
}
