#pragma once
// Picture files made on the spot for tests: PNG, JPEG and BMP through Qt's writers, animated
// GIF through giflib.
#include <gif_lib.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace mw::test {

inline std::string encode(const QImage& image, const char* format, int quality = -1) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return std::string(data.constData(), size_t(data.size()));
}

// The PNG `png` with the size its header declares changed to w x h (and the header's CRC
// made to match): a picture that claims any size in a few bytes.
inline std::string withPngSize(std::string png, std::uint32_t w, std::uint32_t h) {
  auto putBe32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + std::size_t(i)] = char(v >> (24 - 8 * i));
  };
  putBe32(16, w);
  putBe32(20, h);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : png.substr(12, 17)) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  putBe32(29, ~crc);
  return png;
}

inline std::string solidPicture(int w, int h, QColor colour, const char* format = "PNG") {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return encode(image, format, 95);
}

// A GIF of w x h whose frames are filled with `colours` in turn, each shown `delayCs` 1/100 s.
inline std::string animatedGif(int w, int h, const std::vector<QColor>& colours, int delayCs) {
  std::string out;
  auto write = [](GifFileType* gif, const GifByteType* data, int n) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size_t(n));
    return n;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  std::vector<GifColorType> palette(4);
  for (size_t i = 0; i < colours.size() && i < palette.size(); ++i) {
    palette[i] = {GifByteType(colours[i].red()), GifByteType(colours[i].green()),
                  GifByteType(colours[i].blue())};
  }
  ColorMapObject* map = GifMakeMapObject(4, palette.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, w, h, 2, 0, map);
  // Loop forever (NETSCAPE2.0 block).
  const GifByteType loop[] = {1, 0, 0};
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  EGifPutExtensionBlock(gif, 3, loop);
  EGifPutExtensionTrailer(gif);
  std::vector<GifPixelType> row(static_cast<size_t>(w));
  for (size_t f = 0; f < colours.size(); ++f) {
    GraphicsControlBlock gcb{};
    gcb.DelayTime = delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    std::fill(row.begin(), row.end(), GifPixelType(f));
    for (int y = 0; y < h; ++y) EGifPutLine(gif, row.data(), w);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// An animated GIF of `frames` (all of the first one's size), each with a palette of its own.
inline std::string gifOf(const std::vector<QImage>& frames) {
  std::string out;
  auto write = [](GifFileType* gif, const GifByteType* data, int n) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size_t(n));
    return n;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  if (!gif || frames.empty()) return {};
  const int w = frames[0].width(), h = frames[0].height();
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, w, h, 8, 0, nullptr);
  for (const QImage& frame : frames) {
    const QImage indexed = frame.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    std::vector<GifColorType> palette(256);
    for (int i = 0; i < indexed.colorCount() && i < 256; ++i) {
      const QRgb c = indexed.color(i);
      palette[size_t(i)] = {GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
    }
    ColorMapObject* map = GifMakeMapObject(256, palette.data());
    GraphicsControlBlock gcb{};
    gcb.DelayTime = 20;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, ext)), ext);
    EGifPutImageDesc(gif, 0, 0, w, h, false, map);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, const_cast<GifPixelType*>(indexed.constScanLine(y)), w);
    GifFreeMapObject(map);
  }
  EGifCloseFile(gif, &error);
  return out;
}

}  // namespace mw::test
