#include "picture/gif_encoder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

using namespace mw;
using picture::AnimationFrame;

namespace {

struct Read {
  std::vector<QImage> frames;
  std::vector<int> delaysMs;
  int loopCount;
};

// The GIF as a reader composes it.
Read readGif(const Bytes& gif) {
  QByteArray bytes(gif.data(), qsizetype(gif.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "gif");
  Read out{{}, {}, reader.loopCount()};
  for (QImage frame; !(frame = reader.read()).isNull();) {
    out.frames.push_back(frame.convertToFormat(QImage::Format_RGBA8888));
    out.delaysMs.push_back(reader.nextImageDelay());
  }
  return out;
}

// The pixels that differ in alpha, or by more than the level libimagequant's palette may be off a
// flat colour.
int differing(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
      const auto off = [](int c, int d) { return std::abs(c - d) > 2; };
      n += p.alpha() != q.alpha() ||
           (p.alpha() && (off(p.red(), q.red()) || off(p.green(), q.green()) || off(p.blue(), q.blue())));
    }
  return a.size() == b.size() ? n : -1;
}

// A square of four flat colours moving over a flat ground, or over nothing.
std::vector<AnimationFrame> movingSquare(QColor ground, int delayMs) {
  std::vector<AnimationFrame> frames;
  for (int k = 0; k < 4; ++k) {
    QImage image(64, 48, QImage::Format_RGBA8888);
    image.fill(ground);
    QPainter p(&image);
    p.fillRect(8 * k, 10, 20, 20, k % 2 ? QColor(200, 30, 40) : QColor(20, 90, 220));
    p.fillRect(8 * k + 5, 15, 10, 10, QColor(250, 250, 60));
    frames.push_back({image, delayMs});
  }
  return frames;
}

}  // namespace

TEST(GifEncoder, FramesComeBackComposedWithTheirTimesLoopsTransparencyAndNoise) {
  for (const auto remap : {picture::GifRemap::Own, picture::GifRemap::Library})
    for (const QColor ground : {QColor(240, 240, 240), QColor(0, 0, 0, 0)}) {
      SCOPED_TRACE(ground.alpha() ? "opaque" : "transparent");
      // 25 ms frames: 3, 2, 3, 2 centiseconds, so that the whole keeps its 100 ms.
      const std::vector<AnimationFrame> frames = movingSquare(ground, 25);
      const Read read = readGif(picture::encodeAnimatedGif(frames, 3, nullptr, remap));
      ASSERT_EQ(read.frames.size(), frames.size());
      EXPECT_EQ(read.delaysMs, (std::vector<int>{30, 20, 30, 20}));
      EXPECT_EQ(read.loopCount, 2) << "plays after the first";
      for (std::size_t k = 0; k < frames.size(); ++k)
        EXPECT_EQ(differing(read.frames[k], frames[k].image), 0) << "frame " << k;
    }
  EXPECT_EQ(readGif(picture::encodeAnimatedGif(movingSquare(Qt::white, 100), 0)).loopCount, -1) << "for ever";
  EXPECT_EQ(readGif(picture::encodeAnimatedGif(movingSquare(Qt::white, 100), 1)).loopCount, 0) << "once";

  // Noise: the LZW table fills and starts again, with codes of every width from 2 colours' to 200's.
  for (const int colours : {2, 16, 200}) {
    std::vector<AnimationFrame> noise(2, {QImage(300, 200, QImage::Format_RGBA8888), 100});
    unsigned seed = 7;
    for (AnimationFrame& f : noise)
      for (int y = 0; y < f.image.height(); ++y)
        for (int x = 0; x < f.image.width(); ++x) {
          const int c = int(((seed = seed * 1103515245 + 12345) >> 16) % unsigned(colours));
          f.image.setPixelColor(x, y, QColor(c * 37 % 256, c * 91 % 256, c * 53 % 256));
        }
    const Read read = readGif(picture::encodeAnimatedGif(noise, 0));
    ASSERT_EQ(read.frames.size(), 2u) << colours;
    for (std::size_t k = 0; k < 2; ++k) EXPECT_EQ(differing(read.frames[k], noise[k].image), 0) << colours;
  }

  std::vector<AnimationFrame> uneven = movingSquare(Qt::white, 100);
  uneven[2].image = uneven[2].image.copy(0, 0, 10, 10);
  for (const auto& refused : {std::vector<AnimationFrame>(), uneven}) {
    QString error;
    EXPECT_TRUE(picture::encodeAnimatedGif(refused, 0, &error).empty() && !error.isEmpty());
  }
}

