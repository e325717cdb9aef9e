#include "picture/picture_decoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>

#include "picture/gif_animation.h"
#include "picture/gif_writer.h"
#include "picture/picture_codecs.h"
#include "support/test_pictures.h"

namespace mw::picture {
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
  const QImage got = p.image.convertToFormat(QImage::Format_ARGB32);
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
  const std::string png = encode(quadrants(4, 4, false), "PNG");
  auto patchPng = [&](std::uint32_t w, std::uint32_t h) { return mw::test::withPngSize(png, w, h); };
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
  EXPECT_EQ(full.image.size(), QSize(1024, 1024));

  const DecodedPicture small = decodePicture(jpeg, QSize(152, 184));
  ASSERT_TRUE(small.ok()) << small.error.toStdString();
  EXPECT_EQ(small.format, PictureFormat::Jpeg);
  EXPECT_EQ(small.naturalSize, QSize(1024, 1024));
  const QImage& img = small.image;
  EXPECT_EQ(img.size(), QSize(256, 256));
  expectNear(img.pixel(60, 60), qRgb(255, 0, 0), 8, "top left");
  expectNear(img.pixel(200, 60), qRgb(0, 255, 0), 8, "top right");
  expectNear(img.pixel(60, 200), qRgb(0, 0, 255), 8, "bottom left");
  expectNear(img.pixel(200, 200), qRgb(255, 255, 255), 8, "bottom right");
  EXPECT_EQ(qAlpha(img.pixel(200, 200)), 255);

  EXPECT_EQ(decodePicture(jpeg, QSize(600, 600)).image.size(), QSize(1024, 1024));
}

TEST(PictureDecoder, JpegDamageNeverCrashes) {
  const std::string jpeg = encode(quadrants(128, 96, false), "JPG", 80);
  // A file cut off inside its scan still shows what arrived, as browsers do.
  const std::size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  const DecodedPicture half = decodePicture(jpeg.substr(0, (scan + jpeg.size()) / 2));
  ASSERT_TRUE(half.ok()) << half.error.toStdString();
  EXPECT_EQ(half.image.size(), QSize(128, 96));
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

// RGB, 16 bits a sample, and no gAMA, sRGB, cHRM or iCCP chunk, as many programs write them.
std::string png16(int w, int h, std::uint16_t r, std::uint16_t g, std::uint16_t b) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row;
  for (int x = 0; x < w; ++x)
    for (std::uint16_t v : {r, g, b}) row.insert(row.end(), {png_byte(v >> 8), png_byte(v & 0xFF)});
  for (int y = 0; y < h; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PictureDecoder, SixteenBitPngWithoutGammaIsTakenAsSrgb) {
  const std::string navy = png16(3, 2, 128 * 257, 0, 0x8080);
  ASSERT_NE(navy.find("IHDR"), std::string::npos);
  ASSERT_EQ(navy.find("gAMA"), std::string::npos);
  const DecodedPicture p = decodePicture(navy);
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.image.pixel(2, 1), qRgb(128, 0, 128));
}

TEST(PictureDecoder, TheMemoryGivenIsAskedBeforeTheFrameIsAllocated) {
  const std::string png = encode(quadrants(100, 100, false), "PNG");
  const std::string jpeg = encode(quadrants(100, 100, false), "JPG");
  const std::string bmp = encode(quadrants(100, 100, false), "BMP");
  const std::string gif = writeGif(100, 100, {0}, {{0, 0, 1, 1, {0}}});
  for (const std::string& bytes : {png, jpeg, bmp, gif}) {
    DecodeMemory tooLittle(false, 100 * 100 * 4 - 1);
    const DecodedPicture refused = decodePicture(bytes, {.memory = &tooLittle});
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error.contains("too large to show")) << refused.error.toStdString();
    EXPECT_EQ(refused.naturalSize, QSize(100, 100));
    EXPECT_EQ(tooLittle.held(), 0u);

    DecodeMemory enough(false, 100 * 100 * 4);
    EXPECT_TRUE(decodePicture(bytes, {.memory = &enough}).ok()) << enough.largest();
    EXPECT_EQ(enough.held(), 100u * 100 * 4);
  }

  // Counted memory draws on the budget the windows share: with all but a little of it taken,
  // the picture is refused; the budget never goes past its size.
  const std::size_t before = decodedInUse();
  {
    DecodeMemory others;
    std::size_t left = kDecodedBudget - before;
    while (left > kFrameCap) {
      ASSERT_TRUE(others.take(kFrameCap));
      left -= kFrameCap;
    }
    ASSERT_TRUE(others.take(left - 1000));
    DecodeMemory mine;
    EXPECT_FALSE(decodePicture(png, {.memory = &mine}).ok());
    EXPECT_EQ(decodedInUse(), kDecodedBudget - 1000);
    EXPECT_FALSE(others.take(1001));
    EXPECT_TRUE(others.take(1000));
    EXPECT_EQ(decodedPeak(), kDecodedBudget);
  }
  EXPECT_EQ(decodedInUse(), before);
  DecodeMemory mine;
  EXPECT_TRUE(decodePicture(png, {.memory = &mine}).ok());
  EXPECT_EQ(decodedInUse(), before + 100 * 100 * 4);
}

// Holds all of the shared budget but `left` bytes.
DecodeMemory allBut(std::size_t left) {
  DecodeMemory others;
  for (std::size_t rest = kDecodedBudget - decodedInUse() - left; rest > 0; rest -= std::min(rest, kFrameCap))
    EXPECT_TRUE(others.take(std::min(rest, kFrameCap)));
  return others;
}

// Whatever fails after memory was asked for gives it back at once, not when its owner goes.
TEST(PictureDecoder, EveryFailureGivesBackWhatItTook) {
  const std::string png = encode(quadrants(64, 64, false), "PNG"),
                    bmp = encode(quadrants(64, 64, false), "BMP");
  std::string jpeg = encode(quadrants(64, 64, false), "JPG");
  jpeg[jpeg.find("\xFF\xC0") + 12] = 3;  // the first component names a quantisation table never given
  for (const std::string& bytes : {png.substr(0, png.size() / 2), jpeg, bmp.substr(0, 40)}) {
    DecodeMemory memory;
    EXPECT_FALSE(decodePicture(bytes, {.memory = &memory}).ok());
    EXPECT_EQ(memory.held(), 0u) << bytes.substr(0, 4);
  }

  const std::size_t before = decodedInUse(), frame = 400 * 400 * 4;
  const GifTestFrame whole{0, 0, 400, 400, std::vector<unsigned char>(400 * 400, 0), DISPOSE_PREVIOUS};
  const auto gif =
      std::make_shared<const Bytes>(writeGif(400, 400, {0, 0xFFFFFF}, {whole, {0, 0, 1, 1, {1}}}));
  {
    // Room for the canvas, its saved area and the frame on show, but not the one made after it.
    DecodeMemory others = allBut(3 * frame + frame / 2);
    GifAnimation player(gif, {});
    EXPECT_TRUE(player.error().contains("too large to show")) << player.error().toStdString();
    EXPECT_EQ(decodedInUse(), before + others.held());
  }
  {
    // Decoding anew each loop, the first frame's saved area is refused on the second loop: the
    // player stops on the frame it shows and holds that alone.
    GifAnimation player(gif, {}, 0);
    player.advance();
    DecodeMemory others = allBut(0);
    player.advance();
    EXPECT_FALSE(player.animated());
    EXPECT_FALSE(player.frame().isNull());
    EXPECT_EQ(decodedInUse(), before + others.held() + frame);
  }
  EXPECT_EQ(decodedInUse(), before);
}

TEST(PictureDecoder, BmpDecodesThroughQt) {
  const QImage source = quadrants(6, 5, false);
  const DecodedPicture p = decodePicture(encode(source, "BMP"));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.format, PictureFormat::Bmp);
  EXPECT_EQ(p.naturalSize, QSize(6, 5));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(p.image.pixel(x, y), source.pixel(x, y));
  EXPECT_FALSE(decodePicture(std::string("BM\0\0", 4)).ok());
  EXPECT_FALSE(decodePicture(encode(source, "BMP").substr(0, 40)).ok());
}

}  // namespace
}  // namespace mw::picture
