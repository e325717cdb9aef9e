#include "toolkit/picture_decoder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "toolkit/gif_writer.h"
#include "toolkit/picture_codecs.h"

namespace mw::toolkit {
namespace {

using mw::test::GifTestFrame;
using mw::test::writeGif;

std::string encode(const QImage& image, const char* format, int quality = -1) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
  return data.toStdString();
}

// A picture with distinct quadrants, so orientation and channel order errors show.
QImage quadrants(int w, int h, bool alpha) {
  QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool right = x >= w / 2, bottom = y >= h / 2;
      QRgb c = !right && !bottom  ? qRgb(255, 0, 0)
               : right && !bottom ? qRgb(0, 255, 0)
               : !right           ? qRgb(0, 0, 255)
                                  : qRgb(255, 255, 255);
      if (alpha && right && bottom) c = qRgba(10, 20, 30, 128);
      image.setPixel(x, y, c);
    }
  return image;
}

void expectNear(QRgb got, QRgb want, int tolerance, const char* where) {
  EXPECT_NEAR(qRed(got), qRed(want), tolerance) << where;
  EXPECT_NEAR(qGreen(got), qGreen(want), tolerance) << where;
  EXPECT_NEAR(qBlue(got), qBlue(want), tolerance) << where;
}

std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void putBe32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

TEST(PictureDecoder, SniffsFormatsAndRejectsUnknownBytes) {
  EXPECT_EQ(sniffPictureFormat(encode(quadrants(4, 4, false), "PNG")), PictureFormat::Png);
  EXPECT_EQ(sniffPictureFormat(encode(quadrants(4, 4, false), "JPG")), PictureFormat::Jpeg);
  EXPECT_EQ(sniffPictureFormat(encode(quadrants(4, 4, false), "BMP")), PictureFormat::Bmp);
  EXPECT_EQ(sniffPictureFormat(writeGif(1, 1, {0}, {{0, 0, 1, 1, {0}}})), PictureFormat::Gif);
  for (std::string bytes :
       {std::string(), std::string("hello"), std::string("GIF8"), std::string("\x89PN", 3)}) {
    const DecodedPicture p = decodePicture(bytes);
    EXPECT_FALSE(p.ok());
    EXPECT_FALSE(p.error.isEmpty());
  }
}

TEST(PictureDecoder, PngKeepsPixelsAndAlphaExactly) {
  const QImage source = quadrants(9, 7, true);
  const DecodedPicture p = decodePicture(encode(source, "PNG"));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.format, PictureFormat::Png);
  EXPECT_EQ(p.naturalSize, QSize(9, 7));
  ASSERT_EQ(p.frames.size(), 1u);
  EXPECT_FALSE(p.animated());
  const QImage got = p.frames[0].image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(got.pixel(x, y), source.pixel(x, y)) << x << "," << y;
}

TEST(PictureDecoder, BrokenPngsFailCleanly) {
  const std::string png = encode(quadrants(64, 64, false), "PNG");
  for (std::size_t cut :
       {std::size_t(8), std::size_t(20), std::size_t(40), png.size() / 2, png.size() - 13}) {
    const DecodedPicture p = decodePicture(png.substr(0, cut));
    EXPECT_FALSE(p.ok()) << cut;
    EXPECT_TRUE(p.error.startsWith("PNG")) << p.error.toStdString();
  }
  std::string corrupt = png;
  corrupt[png.size() / 2] ^= 0x55;
  EXPECT_FALSE(decodePicture(corrupt).ok());
}

TEST(PictureDecoder, OversizedPicturesAreRefusedFromTheirHeaders) {
  // PNG: IHDR width/height at 16/20, CRC over type+data at 29.
  std::string png = encode(quadrants(4, 4, false), "PNG");
  auto patchPng = [&](std::uint32_t w, std::uint32_t h) {
    std::string s = png;
    putBe32(s, 16, w);
    putBe32(s, 20, h);
    putBe32(s, 29, crc32(s.substr(12, 17)));
    return s;
  };
  // JPEG: height and width follow the SOF0 marker's length and precision.
  const std::string jpeg = encode(quadrants(16, 16, false), "JPG");
  auto patchJpeg = [&](int w, int h) {
    std::string s = jpeg;
    const std::size_t sof = s.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    s[sof + 5] = char(h >> 8), s[sof + 6] = char(h), s[sof + 7] = char(w >> 8), s[sof + 8] = char(w);
    return s;
  };
  const std::string gif = writeGif(2, 2, {0, 0xFFFFFF}, {{0, 0, 2, 2, {0, 1, 1, 0}}});
  auto patchGif = [&](int w, int h) {
    std::string s = gif;
    s[6] = char(w), s[7] = char(w >> 8), s[8] = char(h), s[9] = char(h >> 8);
    return s;
  };
  const std::string bmp = encode(quadrants(4, 4, false), "BMP");
  auto patchBmp = [&](std::int32_t w, std::int32_t h) {
    std::string s = bmp;
    for (int i = 0; i < 4; ++i)
      s[18 + std::size_t(i)] = char(w >> (8 * i)), s[22 + std::size_t(i)] = char(h >> (8 * i));
    return s;
  };

  struct Case {
    std::string bytes;
    QSize declared;
  };
  const std::vector<Case> cases = {
      {patchPng(20000, 10), {20000, 10}}, {patchPng(9000, 9000), {9000, 9000}},
      {patchJpeg(20000, 8), {20000, 8}},  {patchJpeg(8200, 8200), {8200, 8200}},
      {patchGif(20000, 1), {20000, 1}},   {patchGif(16384, 4097), {16384, 4097}},
      {patchBmp(20000, 1), {20000, 1}},   {patchBmp(9000, -9000), {9000, 9000}},
  };
  for (const Case& c : cases) {
    const DecodedPicture p = decodePicture(c.bytes);
    EXPECT_FALSE(p.ok());
    EXPECT_TRUE(p.error.contains("too large")) << p.error.toStdString();
    EXPECT_EQ(p.naturalSize, c.declared) << p.error.toStdString();
  }
  // At the limits themselves a header passes the size check: the PNG then fails on its missing
  // data, the GIF shows its one small frame on the wide canvas.
  EXPECT_FALSE(decodePicture(patchPng(16384, 4096)).error.contains("too large"));
  EXPECT_TRUE(decodePicture(patchGif(16384, 2)).ok());
}

TEST(PictureDecoder, JpegScalesByDctOnlyWhenShownAtHalfOrLess) {
  EXPECT_EQ(detail::jpegScaleDenominator(1024, 1024, {152, 184}), 4);
  EXPECT_EQ(detail::jpegScaleDenominator(1600, 1600, {200, 200}), 8);
  EXPECT_EQ(detail::jpegScaleDenominator(440, 440, {200, 200}), 2);
  EXPECT_EQ(detail::jpegScaleDenominator(399, 800, {200, 200}), 1);  // not twice as wide
  EXPECT_EQ(detail::jpegScaleDenominator(1024, 1024, {}), 1);
  EXPECT_EQ(detail::jpegScaleDenominator(1024, 1024, {0, 0}), 1);

  const QImage source = quadrants(1024, 1024, false);
  const std::string jpeg = encode(source, "JPG", 90);
  const DecodedPicture full = decodePicture(jpeg);
  ASSERT_TRUE(full.ok()) << full.error.toStdString();
  EXPECT_EQ(full.frames[0].image.size(), QSize(1024, 1024));

  const DecodedPicture small = decodePicture(jpeg, QSize(152, 184));
  ASSERT_TRUE(small.ok()) << small.error.toStdString();
  EXPECT_EQ(small.format, PictureFormat::Jpeg);
  EXPECT_EQ(small.naturalSize, QSize(1024, 1024));
  const QImage& img = small.frames[0].image;
  EXPECT_EQ(img.size(), QSize(256, 256));
  expectNear(img.pixel(60, 60), qRgb(255, 0, 0), 8, "top left");
  expectNear(img.pixel(200, 60), qRgb(0, 255, 0), 8, "top right");
  expectNear(img.pixel(60, 200), qRgb(0, 0, 255), 8, "bottom left");
  expectNear(img.pixel(200, 200), qRgb(255, 255, 255), 8, "bottom right");
  EXPECT_EQ(qAlpha(img.pixel(200, 200)), 255);

  EXPECT_EQ(decodePicture(jpeg, QSize(600, 600)).frames[0].image.size(), QSize(1024, 1024));
}

TEST(PictureDecoder, JpegDamageNeverCrashes) {
  const std::string jpeg = encode(quadrants(128, 96, false), "JPG", 80);
  // A file cut off inside its scan still shows what arrived, as browsers do.
  const std::size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  const DecodedPicture half = decodePicture(jpeg.substr(0, (scan + jpeg.size()) / 2));
  ASSERT_TRUE(half.ok()) << half.error.toStdString();
  EXPECT_EQ(half.frames[0].image.size(), QSize(128, 96));
  // Header damage is a clean error.
  for (std::size_t cut : {std::size_t(3), std::size_t(20), std::size_t(100)}) {
    const DecodedPicture p = decodePicture(jpeg.substr(0, cut));
    EXPECT_FALSE(p.ok()) << cut;
    EXPECT_TRUE(p.error.startsWith("JPEG")) << p.error.toStdString();
  }
  std::string scrambled = jpeg;
  for (std::size_t i = 2; i < scrambled.size(); i += 7) scrambled[i] = char(scrambled[i] * 31 + 7);
  decodePicture(scrambled);  // either outcome, but no crash or leak (ASan run)
}

TEST(PictureDecoder, GifFramesComposeWithDisposalAndDelays) {
  const unsigned red = 0xFF0000, blue = 0x0000FF, green = 0x00FF00, black = 0;
  // 1: red background (delay 0 -> shown 100 ms); 2: blue 2x2 at 1,1 cleared afterwards;
  // 3: green pixel at 0,0, index 3 transparent, restored afterwards; 4: nothing but transparency.
  std::vector<GifTestFrame> frames(4);
  frames[0] = {0, 0, 4, 4, std::vector<unsigned char>(16, 0), DISPOSE_DO_NOT, 0};
  frames[1] = {1, 1, 2, 2, std::vector<unsigned char>(4, 1), DISPOSE_BACKGROUND, 25};
  frames[2] = {0, 0, 2, 1, {2, 3}, DISPOSE_PREVIOUS, 7, 3};
  frames[3] = {3, 3, 1, 1, {3}, DISPOSE_DO_NOT, 1, 3};
  const DecodedPicture p = decodePicture(writeGif(4, 4, {red, blue, green, black}, frames));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.format, PictureFormat::Gif);
  EXPECT_EQ(p.naturalSize, QSize(4, 4));
  ASSERT_EQ(p.frames.size(), 4u);
  EXPECT_TRUE(p.animated());
  EXPECT_EQ(p.frames[0].delayMs, 100);
  EXPECT_EQ(p.frames[1].delayMs, 250);
  EXPECT_EQ(p.frames[2].delayMs, 70);
  EXPECT_EQ(p.frames[3].delayMs, 100);

  const QImage& f1 = p.frames[1].image;
  EXPECT_EQ(f1.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(f1.pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(f1.pixel(2, 2), qRgb(0, 0, 255));
  const QImage& f2 = p.frames[2].image;  // frame 2's area cleared, green drawn, index 3 left through
  EXPECT_EQ(f2.pixel(0, 0), qRgb(0, 255, 0));
  EXPECT_EQ(f2.pixel(1, 0), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(f2.pixel(1, 1)), 0);
  EXPECT_EQ(f2.pixel(3, 3), qRgb(255, 0, 0));
  const QImage& f3 = p.frames[3].image;  // frame 3 undone
  EXPECT_EQ(f3.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(qAlpha(f3.pixel(2, 2)), 0);
  EXPECT_EQ(f3.pixel(3, 3), qRgb(255, 0, 0));

  // A still GIF has no delay; a frame hanging over the screen edge is clipped.
  const DecodedPicture still = decodePicture(writeGif(2, 2, {red, blue}, {{1, 1, 3, 1, {1, 1, 1}, 0, 50}}));
  ASSERT_TRUE(still.ok()) << still.error.toStdString();
  EXPECT_EQ(still.frames[0].delayMs, 0);
  EXPECT_EQ(still.frames[0].image.pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(qAlpha(still.frames[0].image.pixel(0, 0)), 0);
}

TEST(PictureDecoder, GifInterlaceTruncationAndFrameLimit) {
  std::vector<unsigned char> column(10);
  for (int y = 0; y < 10; ++y) column[std::size_t(y)] = (unsigned char)(y);
  std::vector<unsigned> palette;
  for (unsigned i = 0; i < 10; ++i) palette.push_back(i * 20);
  GifTestFrame interlaced{0, 0, 1, 10, column};
  interlaced.interlace = true;
  const DecodedPicture p = decodePicture(writeGif(1, 10, palette, {interlaced}));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  for (int y = 0; y < 10; ++y) EXPECT_EQ(p.frames[0].image.pixel(0, y), qRgb(0, 0, y * 20)) << y;

  // Two whole frames and a third cut off: what arrived is kept.
  std::vector<GifTestFrame> three(3,
                                  GifTestFrame{0, 0, 64, 64, std::vector<unsigned char>(64 * 64, 1), 0, 10});
  for (std::size_t i = 0; i < three[2].indices.size(); ++i) three[2].indices[i] = (unsigned char)(i * 7 % 10);
  const std::string gif = writeGif(64, 64, palette, three);
  const DecodedPicture cut = decodePicture(gif.substr(0, gif.size() - 40));
  ASSERT_TRUE(cut.ok()) << cut.error.toStdString();
  EXPECT_EQ(cut.frames.size(), 3u);
  EXPECT_FALSE(decodePicture(gif.substr(0, 20)).ok());

  const GifTestFrame dot{0, 0, 1, 1, {0}, 0, 2};
  EXPECT_EQ(decodePicture(writeGif(1, 1, {0}, std::vector<GifTestFrame>(kMaxFrames, dot))).frames.size(),
            std::size_t(kMaxFrames));
  const DecodedPicture tooMany =
      decodePicture(writeGif(1, 1, {0}, std::vector<GifTestFrame>(kMaxFrames + 1, dot)));
  EXPECT_FALSE(tooMany.ok());
  EXPECT_TRUE(tooMany.frames.empty());
  EXPECT_TRUE(tooMany.error.contains("frames")) << tooMany.error.toStdString();
}

TEST(PictureDecoder, BmpDecodesThroughQt) {
  const QImage source = quadrants(6, 5, false);
  const DecodedPicture p = decodePicture(encode(source, "BMP"));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.format, PictureFormat::Bmp);
  EXPECT_EQ(p.naturalSize, QSize(6, 5));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(p.frames[0].image.pixel(x, y), source.pixel(x, y));
  EXPECT_FALSE(decodePicture(std::string("BM\0\0", 4)).ok());
  EXPECT_FALSE(decodePicture(encode(source, "BMP").substr(0, 40)).ok());
}

}  // namespace
}  // namespace mw::toolkit
