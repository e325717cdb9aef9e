// The streaming GIF player: frames composed one at a time on one canvas, resampled where they
// changed, kept while they fit and replayed once a loop is kept. Checked against a plain full
// decoder written here on giflib's slurping reader, which holds every frame whole.
#include "picture/gif_animation.h"

#include <gtest/gtest.h>

#include <random>

#include "picture/gif_stream.h"
#include "picture/gif_writer.h"
#include "picture/picture_decoder.h"
#include "picture/resampler.h"

namespace mw::picture {
namespace {

using mw::test::GifTestFrame;
using mw::test::writeGif;

std::shared_ptr<const Bytes> shared(const std::string& bytes) { return std::make_shared<const Bytes>(bytes); }

// Every frame of `gif` as a whole canvas, by the rules of the format: each frame drawn over
// what the frames before left after their disposal; what no frame covers is transparent.
std::vector<QImage> fullDecode(const std::string& gif) {
  struct Input {
    const std::string* bytes;
    std::size_t at = 0;
  } input{&gif};
  int error = 0;
  GifFileType* file = DGifOpen(
      &input,
      [](GifFileType* g, GifByteType* out, int n) {
        auto* in = static_cast<Input*>(g->UserData);
        const std::size_t k = std::min(std::size_t(n), in->bytes->size() - in->at);
        std::memcpy(out, in->bytes->data() + in->at, k);
        in->at += k;
        return int(k);
      },
      &error);
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(DGifSlurp(file), GIF_OK);
  QImage canvas(file->SWidth, file->SHeight, QImage::Format_ARGB32);
  canvas.fill(0);
  std::vector<QImage> frames;
  for (int i = 0; i < file->ImageCount; ++i) {
    const SavedImage& image = file->SavedImages[i];
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    DGifSavedExtensionToGCB(file, i, &gcb);
    const QImage before = canvas.copy();
    const GifImageDesc& d = image.ImageDesc;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : file->SColorMap;
    for (int y = 0; y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x) {
        const int index = image.RasterBits[y * d.Width + x];
        if (index == gcb.TransparentColor || !canvas.rect().contains(d.Left + x, d.Top + y)) continue;
        const GifColorType c = map->Colors[index];
        canvas.setPixel(d.Left + x, d.Top + y, qRgb(c.Red, c.Green, c.Blue));
      }
    frames.push_back(canvas.copy());
    if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
      for (int y = d.Top; y < d.Top + d.Height; ++y)
        for (int x = d.Left; x < d.Left + d.Width; ++x)
          if (canvas.rect().contains(x, y)) canvas.setPixel(x, y, 0);
    } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
      canvas = before;
    }
  }
  DGifCloseFile(file, &error);
  return frames;
}

// Animations of random frames with every disposal method, transparency and interlacing, some
// frames hanging over the screen's edge.
std::string randomGif(std::mt19937& rng, int w, int h, int frames) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<unsigned> palette;
  for (int i = 0; i < 16; ++i) palette.push_back(unsigned(rng()) & 0xFFFFFF);
  std::vector<GifTestFrame> list;
  for (int f = 0; f < frames; ++f) {
    GifTestFrame frame;
    frame.left = f == 0 ? 0 : pick(0, w - 1);
    frame.top = f == 0 ? 0 : pick(0, h - 1);
    frame.width = f == 0 ? w : pick(1, w);
    frame.height = f == 0 ? h : pick(1, h);
    frame.disposal = pick(0, 3);
    frame.delayCs = pick(0, 12);
    frame.transparent = pick(0, 2) == 0 ? NO_TRANSPARENT_COLOR : pick(0, 15);
    frame.interlace = pick(0, 3) == 0;
    for (int i = 0; i < frame.width * frame.height; ++i) frame.indices.push_back((unsigned char)pick(0, 15));
    list.push_back(frame);
  }
  return writeGif(w, h, palette, list);
}

bool samePixels(const QImage& a, const QImage& b) {
  return a.size() == b.size() &&
         a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

TEST(Resampler, AnyAreaEqualsTheSamePixelsOfTheWhole) {
  std::mt19937 rng(5);
  QImage source(97, 61, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < source.height(); ++y)
    for (int x = 0; x < source.width(); ++x)
      source.setPixel(x, y, rng() % 3 ? qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)) : 0u);
  for (QSize to : {QSize(40, 23), QSize(97, 61), QSize(150, 30), QSize(13, 140)}) {
    const Resampler r(source.size(), to);
    const QImage whole = r.resampled(source);
    for (int round = 0; round < 20; ++round) {
      const QRect changed(int(rng() % 97), int(rng() % 61), int(rng() % 20) + 1, int(rng() % 20) + 1);
      const QRect area = r.affected(changed);
      ASSERT_FALSE(area.isEmpty());
      QImage partial = whole;
      partial.detach();
      // Scribble over the area, then compute it alone: the scribble must be gone.
      for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) partial.setPixel(x, y, qRgba(1, 2, 3, 4));
      r.resample(source, partial, area);
      ASSERT_EQ(partial, whole) << to.width() << "x" << to.height() << " round " << round;
    }
  }
  // Shrinking averages: a black and white checkerboard halves to grey.
  QImage board(8, 8, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) board.setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  const QImage grey = Resampler(board.size(), QSize(4, 4)).resampled(board);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(grey.pixel(x, y), qRgb(128, 128, 128));
}

TEST(GifStream, FramesComposeWithDisposalTransparencyAndDelays) {
  const unsigned red = 0xFF0000, blue = 0x0000FF, green = 0x00FF00, black = 0;
  // 1: red background (delay 0 -> 100 ms); 2: blue 2x2 at 1,1 cleared afterwards;
  // 3: green pixel at 0,0, index 3 transparent, restored afterwards; 4: nothing but transparency
  // and no graphic control at all.
  std::vector<GifTestFrame> frames(4);
  frames[0] = {0, 0, 4, 4, std::vector<unsigned char>(16, 0), DISPOSE_DO_NOT, 0};
  frames[1] = {1, 1, 2, 2, std::vector<unsigned char>(4, 1), DISPOSE_BACKGROUND, 25};
  frames[2] = {0, 0, 2, 1, {2, 3}, DISPOSE_PREVIOUS, 7, 3};
  frames[3] = {3, 3, 1, 1, {0}};
  frames[3].graphicControl = false;
  DecodeMemory memory;
  GifStream gif(shared(writeGif(4, 4, {red, blue, green, black}, frames)), memory);
  EXPECT_EQ(gif.size(), QSize(4, 4));
  GifStream::Frame f;

  ASSERT_TRUE(gif.next(f));
  EXPECT_EQ(f.changed, QRect(0, 0, 4, 4));
  EXPECT_EQ(f.delayMs, 100);
  EXPECT_EQ(memory.held(), 4u * 4 * 4);

  ASSERT_TRUE(gif.next(f));
  EXPECT_EQ(f.changed, QRect(1, 1, 2, 2));
  EXPECT_EQ(f.delayMs, 250);
  EXPECT_EQ(gif.canvas().pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(gif.canvas().pixel(2, 2), qRgb(0, 0, 255));

  // Frame 2's area cleared, green drawn, index 3 left through.
  ASSERT_TRUE(gif.next(f));
  EXPECT_EQ(f.changed, QRect(0, 0, 3, 3));
  EXPECT_EQ(f.delayMs, 70);
  EXPECT_EQ(gif.canvas().pixel(0, 0), qRgb(0, 255, 0));
  EXPECT_EQ(gif.canvas().pixel(1, 0), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(gif.canvas().pixel(1, 1)), 0);
  EXPECT_EQ(memory.held(), 4u * 4 * 4 + 2 * 4) << "the area to restore is kept";

  // Frame 3 undone; no graphic control reads as a delay of 0 does.
  ASSERT_TRUE(gif.next(f));
  EXPECT_EQ(f.delayMs, 100);
  EXPECT_EQ(gif.canvas().pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(gif.canvas().pixel(3, 3), qRgb(255, 0, 0));
  EXPECT_EQ(memory.held(), 4u * 4 * 4);
  EXPECT_FALSE(gif.more());
  EXPECT_FALSE(gif.next(f));
  EXPECT_TRUE(gif.error().isEmpty());

  gif.rewind();
  ASSERT_TRUE(gif.next(f));
  EXPECT_EQ(f.changed, QRect(0, 0, 4, 4));
  EXPECT_EQ(gif.canvas().pixel(2, 2), qRgb(255, 0, 0));
}

TEST(GifStream, InterlaceCutOffFilesAndTheFrameLimit) {
  std::vector<unsigned char> column(10);
  for (int y = 0; y < 10; ++y) column[std::size_t(y)] = (unsigned char)(y);
  std::vector<unsigned> palette;
  for (unsigned i = 0; i < 10; ++i) palette.push_back(i * 20);
  GifTestFrame interlaced{0, 0, 1, 10, column};
  interlaced.interlace = true;
  const DecodedPicture p = decodePicture(writeGif(1, 10, palette, {interlaced}));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  for (int y = 0; y < 10; ++y) EXPECT_EQ(p.image.pixel(0, y), qRgb(0, 0, y * 20)) << y;

  // Two whole frames and a third cut off: what arrived is shown, and the loop ends there.
  std::vector<GifTestFrame> three(3,
                                  GifTestFrame{0, 0, 64, 64, std::vector<unsigned char>(64 * 64, 1), 0, 10});
  for (std::size_t i = 0; i < three[2].indices.size(); ++i) three[2].indices[i] = (unsigned char)(i * 7 % 10);
  const std::string gif = writeGif(64, 64, palette, three);
  GifAnimation cut(shared(gif.substr(0, gif.size() - 40)), {});
  ASSERT_TRUE(cut.error().isEmpty()) << cut.error().toStdString();
  for (int i = 1; i <= 4; ++i) {
    cut.advance();
    EXPECT_EQ(cut.index(), i % 3);
  }
  EXPECT_FALSE(GifAnimation(shared(gif.substr(0, 20)), {}).error().isEmpty());

  // Past the frame limit a loop ends; the picture still plays.
  const GifTestFrame dot{0, 0, 1, 1, {0}, 0, 2};
  DecodeMemory memory;
  GifStream many(shared(writeGif(1, 1, {0}, std::vector<GifTestFrame>(kMaxFrames + 5, dot))), memory);
  GifStream::Frame f;
  int read = 0;
  while (many.next(f)) ++read;
  EXPECT_EQ(read, kMaxFrames);
  EXPECT_TRUE(many.error().isEmpty());
}

// The player's frames, at the natural size and resampled, kept or decoded anew each loop,
// equal those of the full decoder pixel for pixel, loop after loop.
TEST(GifAnimation, PlaysEveryFrameAsTheFullDecoderDoes) {
  std::mt19937 rng(11);
  for (int round = 0; round < 6; ++round) {
    const int w = 20 + int(rng() % 60), h = 20 + int(rng() % 60);
    const std::string gif = randomGif(rng, w, h, 3 + int(rng() % 12));
    const std::vector<QImage> full = fullDecode(gif);
    ASSERT_GE(full.size(), 3u);
    for (QSize shown : {QSize(w, h), QSize(w * 2 / 5, h * 3 / 7), QSize(w * 3 / 2, h + 7)}) {
      const Resampler resample(QSize(w, h), shown);
      for (std::size_t cache : {kFrameCacheBudget, std::size_t(0)}) {
        GifAnimation player(
            shared(gif), [&](QSize) { return shown; }, cache);
        ASSERT_TRUE(player.error().isEmpty()) << player.error().toStdString();
        ASSERT_TRUE(player.animated());
        for (std::size_t step = 0; step < 3 * full.size(); ++step) {
          const std::size_t k = step % full.size();
          ASSERT_EQ(player.index(), int(k));
          const QImage want =
              shown == QSize(w, h)
                  ? full[k]
                  : resample.resampled(full[k].convertToFormat(QImage::Format_ARGB32_Premultiplied));
          ASSERT_TRUE(samePixels(player.frame(), want))
              << "round " << round << ", shown " << shown.width() << "x" << shown.height() << ", cache "
              << cache << ", frame " << k << " of loop " << step / full.size();
          player.advance();
        }
        EXPECT_EQ(player.replaying(), cache > 0) << "a loop that fits is kept and replayed";
      }
    }
  }
}

// Once a loop is kept, the canvas is let go: a large GIF shown small holds little.
TEST(GifAnimation, KeptLoopsHoldLittleAndOversizedCanvasesAreRefused) {
  const std::size_t before = decodedInUse();
  std::vector<GifTestFrame> frames{{0, 0, 1000, 1000, std::vector<unsigned char>(1000 * 1000, 0)}};
  for (int f = 1; f < 30; ++f) frames.push_back({f * 20, f * 10, 10, 10, std::vector<unsigned char>(100, 1)});
  const std::string gif = writeGif(1000, 1000, {0x203040, 0xFFFF00}, frames);
  {
    GifAnimation player(shared(gif), [](QSize) { return QSize(150, 150); });
    ASSERT_TRUE(player.error().isEmpty());
    EXPECT_GE(player.memoryHeld(), std::size_t(1000 * 1000 * 4));
    EXPECT_EQ(decodedInUse(), before + player.memoryHeld());
    for (int i = 0; i < 30; ++i) player.advance();
    EXPECT_TRUE(player.replaying());
    EXPECT_EQ(player.index(), 0);
    EXPECT_LT(player.memoryHeld(), std::size_t(150 * 150 * 4 * 4)) << "two frames and the kept changes";
    EXPECT_EQ(decodedInUse(), before + player.memoryHeld());
  }
  EXPECT_EQ(decodedInUse(), before);

  // A GIF of one frame holds that frame alone: no second one is ever made.
  {
    GifAnimation still(
        shared(writeGif(200, 100, {0, 0xFFFFFF}, {{0, 0, 200, 100, std::vector<unsigned char>(20000, 1)}})),
        {});
    ASSERT_TRUE(still.error().isEmpty());
    EXPECT_FALSE(still.animated());
    EXPECT_EQ(still.memoryHeld(), std::size_t(200 * 100 * 4));
    EXPECT_EQ(decodedInUse(), before + still.memoryHeld());
  }
  EXPECT_EQ(decodedInUse(), before);

  // Four one-pixel frames on an 8192 x 8192 screen: the canvas alone would take 256 MiB.
  const GifTestFrame dot{0, 0, 1, 1, {1}};
  GifAnimation huge(shared(writeGif(8192, 8192, {0, 0xFFFFFF}, {dot, dot, dot, dot})), {});
  EXPECT_TRUE(huge.error().contains("too large to show")) << huge.error().toStdString();
  EXPECT_TRUE(huge.frame().isNull());
  EXPECT_EQ(huge.memoryHeld(), 0u);
  EXPECT_EQ(decodedInUse(), before);
}

}  // namespace
}  // namespace mw::picture
