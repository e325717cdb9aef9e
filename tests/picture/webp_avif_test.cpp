// WebP (still and animated) and AVIF, decoded against pictures made here with their encoders.
#include <gtest/gtest.h>

#include <QTransform>

#include "picture/animation_frames.h"
#include "picture/gif_animation.h"
#include "picture/gif_stream.h"
#include "picture/gif_writer.h"
#include "picture/picture_codecs.h"
#include "picture/picture_decoder.h"
#include "picture/picture_writers.h"
#include "picture/webp_stream.h"

namespace mw::picture {
namespace {

// Distinct quadrants (one half transparent when `alpha`), so orientation and channel errors show.
QImage quadrants(int w, int h, bool alpha) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool right = x >= w / 2, bottom = y >= h / 2;
      QRgb c = !right && !bottom ? qRgb(255, 0, 0)
               : !bottom         ? qRgb(0, 255, 0)
               : !right          ? qRgb(0, 0, 255)
                                 : qRgb(255, 255, 255);
      if (alpha && right && bottom) c = qRgba(200, 100, 50, 128);
      image.setPixel(x, y, c);
    }
  return image;
}

// Largest difference of any channel between the two pictures (unpremultiplied), leaving out
// the pixels within `margin` of the quadrants' edges, which lossy coding blurs.
int difference(const QImage& a, const QImage& b, int margin = 0) {
  if (a.size() != b.size()) return 1000;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
  int most = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      if (std::abs(2 * r + 1 - x.height()) < 2 * margin || std::abs(2 * c + 1 - x.width()) < 2 * margin)
        continue;
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      for (int shift : {0, 8, 16, 24})
        most = std::max(most, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
    }
  return most;
}

QImage solid(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

std::shared_ptr<const Bytes> shared(std::string bytes) {
  return std::make_shared<const Bytes>(std::move(bytes));
}

TEST(WebpAvif, EachFormatDecodesAsItsReference) {
  const QImage source = quadrants(32, 24, true);
  struct Case {
    std::string bytes;
    PictureFormat format;
    int tolerance;
    QImage want;
    int margin = 0;
  };
  const std::vector<Case> cases = {
      {writeWebp(source, -1), PictureFormat::Webp, 0, source},
      {writeWebp(source, 90), PictureFormat::Webp, 24, source, 4},
      {writeAvif(source, 100), PictureFormat::Avif, 0, source},
      {writeAvif(source, 80), PictureFormat::Avif, 24, source, 4},
      // A quarter turn anticlockwise, then left and right exchanged, as the container says.
      {writeAvif(source, 100, 1, 1), PictureFormat::Avif, 0,
       source.transformed(QTransform().rotate(-90)).mirrored(true, false)},
      {writeAvif(source, 100, 2, 0), PictureFormat::Avif, 0,
       source.transformed(QTransform().rotate(180)).mirrored(false, true)},
      {writeAnimatedWebp({{source, 100}, {solid(32, 24, qRgb(0, 0, 0)), 100}}, 0, -1), PictureFormat::Webp, 1,
       source},  // composed premultiplied
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    ASSERT_FALSE(c.bytes.empty()) << i;
    EXPECT_EQ(sniffPictureFormat(c.bytes), c.format) << i;
    DecodeMemory memory;
    const DecodedPicture p = decodePicture(c.bytes, {.memory = &memory});
    ASSERT_TRUE(p.ok()) << i << " " << p.error.toStdString();
    EXPECT_EQ(p.format, c.format);
    EXPECT_EQ(p.naturalSize, c.want.size()) << i;
    EXPECT_LE(difference(p.image, c.want, c.margin), c.tolerance) << i;
    EXPECT_EQ(memory.held(), detail::frameBytes(p.image.size())) << i << ": only the frame stays taken";
  }
  EXPECT_EQ(mimeType(PictureFormat::Webp), "image/webp");
  EXPECT_EQ(mimeType(PictureFormat::Avif), "image/avif");
  EXPECT_FALSE(isAnimatedWebp(cases[0].bytes));
  EXPECT_TRUE(isAnimatedWebp(cases.back().bytes));
  // Told apart by their bytes alone: an ISO file of another brand, a RIFF of another kind.
  EXPECT_EQ(sniffPictureFormat(std::string("\0\0\0\x18"
                                           "ftypheic\0\0\0\0mif1heic",
                                           24)),
            PictureFormat::Unknown);
  EXPECT_EQ(sniffPictureFormat(std::string("RIFF\x10\0\0\0WAVEfmt ", 16)), PictureFormat::Unknown);
  for (const char* cut : {"RIFF", "RIFF\x10\x01"}) EXPECT_FALSE(decodePicture(cut).ok()) << cut;

  // A still shown smaller is scaled as it is decoded.
  const DecodedPicture small = decodePicture(writeWebp(quadrants(400, 300, false), 90), QSize(40, 30));
  ASSERT_TRUE(small.ok());
  EXPECT_EQ(small.naturalSize, QSize(400, 300));
  EXPECT_EQ(small.image.size(), QSize(40, 30));
  EXPECT_LE(difference(small.image, quadrants(40, 30, false), 2), 24);
}

TEST(WebpAvif, AnimatedWebpGivesItsFramesDelaysAndLoops) {
  const std::vector<QRgb> colours = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgba(0, 255, 0, 0)};
  std::vector<WebpFrame> frames;
  QImage canvas = solid(20, 10, colours[0]);
  frames.push_back({canvas, 50});
  QImage second = canvas;
  second.fill(colours[1]);
  frames.push_back({second, 70});
  frames.push_back({solid(20, 10, colours[2]), 5});
  const std::string webp = writeAnimatedWebp(frames, 2, -1);

  const AnimationFrames all = readAnimationFrames(webp);
  ASSERT_TRUE(all.ok()) << all.error.toStdString();
  EXPECT_EQ(all.size, QSize(20, 10));
  EXPECT_EQ(all.loopCount, 2);
  ASSERT_EQ(all.frames.size(), 3u);
  const std::vector<int> delays = {50, 70, kShortDelayMs};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(all.frames[i].image.format(), QImage::Format_RGBA8888);
    EXPECT_EQ(all.frames[i].delayMs, delays[i]) << i;
    EXPECT_EQ(qAlpha(all.frames[i].image.pixel(5, 5)), qAlpha(colours[i])) << i;
    if (qAlpha(colours[i])) {
      EXPECT_EQ(all.frames[i].image.pixel(19, 9), colours[i]) << i;
    }
  }
  EXPECT_FALSE(readAnimationFrames(mw::test::writeGif(1, 1, {0}, {{0, 0, 1, 1, {0}}})).ok());

  // Played as a control plays it: every frame with its delay, twice, then the last stays.
  GifAnimation player(shared(webp), {});
  ASSERT_TRUE(player.error().isEmpty()) << player.error().toStdString();
  ASSERT_TRUE(player.animated());
  std::vector<int> seen;
  for (int step = 0; step < 10 && player.animated(); ++step) {
    seen.push_back(player.index() * 1000 + player.delayMs());
    player.advance();
  }
  EXPECT_EQ(seen, (std::vector<int>{50, 1070, 2100, 50, 1070, 2100}));
  EXPECT_EQ(qAlpha(player.frame().pixel(3, 3)), 0) << "the last frame stays";

  // A GIF's NETSCAPE2.0 count is its repeats after the first play.
  std::string gif = mw::test::writeGif(2, 2, {0xFF0000, 0x0000FF},
                                       {{0, 0, 2, 2, {0, 0, 0, 0}, 0, 5}, {0, 0, 2, 2, {1, 1, 1, 1}, 0, 5}});
  const std::size_t afterTable = 13 + (3u << ((static_cast<unsigned char>(gif[10]) & 7) + 1));
  gif.insert(afterTable, std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x02\x00\x00", 19));
  GifAnimation repeated(shared(gif), {});
  int plays = 0;
  for (int step = 0; step < 20 && repeated.animated(); ++step) {
    plays += repeated.index() == 0;
    repeated.advance();
  }
  EXPECT_EQ(plays, 3);
}

TEST(WebpAvif, BombsAreRefusedWithinTheCapsAndGiveTheirMemoryBack) {
  const std::string anim =
      writeAnimatedWebp({{solid(64, 64, qRgb(9, 9, 9)), 40}, {quadrants(64, 64, false), 40}}, 0, -1);
  // VP8X keeps the canvas size less one, in 24 bits, at bytes 24 and 27.
  const auto canvas = [&](int w, int h) {
    std::string b = anim;
    for (int i = 0; i < 3; ++i) {
      b[std::size_t(24 + i)] = char((w - 1) >> (8 * i));
      b[std::size_t(27 + i)] = char((h - 1) >> (8 * i));
    }
    return b;
  };
  std::string avif = writeAvif(quadrants(16, 16, false), 80);
  const auto avifSized = [&](std::uint32_t w, std::uint32_t h) {
    std::string b = avif;
    const std::size_t at = b.find("ispe") + 8;
    for (int i = 0; i < 4; ++i) {
      b[at + std::size_t(i)] = char(w >> (24 - 8 * i));
      b[at + 4 + std::size_t(i)] = char(h >> (24 - 8 * i));
    }
    return b;
  };
  const std::vector<std::string> bombs = {
      canvas(1 << 24, 1 << 24),  // a canvas past every limit
      canvas(8192, 8192),        // within the pixel limit, past what one picture may take
      canvas(32, 32),            // frames larger than the canvas
      anim.substr(0, anim.size() - 30),
      anim.substr(0, 40),  // truncated
      writeWebp(solid(8, 8, 0)).substr(0, 30),
      avifSized(1u << 20, 1u << 20),
      avifSized(8192, 8192),
      avif.substr(0, avif.size() / 2),
      avif.substr(0, 40),
  };
  const std::size_t before = decodedInUse();
  for (std::size_t i = 0; i < bombs.size(); ++i) {
    DecodeMemory memory;
    const DecodedPicture p = decodePicture(bombs[i], {.memory = &memory});
    EXPECT_FALSE(p.ok()) << i;
    EXPECT_FALSE(p.error.isEmpty()) << i;
    EXPECT_EQ(memory.held(), 0u) << i << ": " << p.error.toStdString();
    if (sniffPictureFormat(bombs[i]) == PictureFormat::Webp) {
      EXPECT_FALSE(GifAnimation(shared(bombs[i]), {}).error().isEmpty()) << i;
      EXPECT_FALSE(readAnimationFrames(bombs[i]).ok()) << i;
    }
  }
  EXPECT_EQ(decodedInUse(), before);

  // Thousands of frames: a pass reads the first kMaxFrames of them.
  std::vector<WebpFrame> many;
  for (int f = 0; f < 1500; ++f) many.push_back({solid(8, 8, qRgb(f % 256, f / 256, 0)), 20});
  const std::string thousands = writeAnimatedWebp(many, 0, -1);
  DecodeMemory memory;
  WebpStream stream(shared(thousands), memory);
  EXPECT_EQ(stream.frameCount(), 1500);
  FrameStream::Frame f;
  int read = 0;
  while (stream.next(f)) ++read;
  EXPECT_EQ(read, kMaxFrames);
  EXPECT_EQ(readAnimationFrames(thousands).frames.size(), std::size_t(kMaxFrames));
}

}  // namespace
}  // namespace mw::picture
