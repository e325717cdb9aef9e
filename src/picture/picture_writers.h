#pragma once
// WebP and AVIF files written from QImages, for the pictures the project makes itself (the
// demo site's artwork, the benches, the tests). Header-only, so that the program itself does
// not link the encoders; a user links PkgConfig::WEBPMUX and PkgConfig::AVIF.
#include <avif/avif.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <QImage>
#include <string>
#include <vector>

namespace mw::picture {

// A still WebP: lossy at `quality` (0-100), lossless when quality is negative. Empty on failure.
inline std::string writeWebp(const QImage& picture, int quality = 80) {
  const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
  uint8_t* out = nullptr;
  const int w = rgba.width(), h = rgba.height(), stride = int(rgba.bytesPerLine());
  const std::size_t n = quality < 0 ? WebPEncodeLosslessRGBA(rgba.constBits(), w, h, stride, &out)
                                    : WebPEncodeRGBA(rgba.constBits(), w, h, stride, float(quality), &out);
  std::string bytes(reinterpret_cast<const char*>(out), n);
  WebPFree(out);
  return bytes;
}

struct WebpFrame {
  QImage image;  // the whole canvas
  int durationMs = 100;
};

// An animated WebP of the frames (all of one size), played `loopCount` times (0: for ever).
// The encoder stores only what changes from frame to frame, as sub-frames.
inline std::string writeAnimatedWebp(const std::vector<WebpFrame>& frames, int loopCount, int quality = 80) {
  if (frames.empty()) return {};
  const QSize size = frames.front().image.size();
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  options.anim_params.loop_count = loopCount;
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(size.width(), size.height(), &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = quality < 0;
  config.quality = quality < 0 ? 50 : float(quality);
  int at = 0;
  bool ok = encoder != nullptr;
  for (const WebpFrame& f : frames) {
    if (!ok) break;
    const QImage rgba = f.image.convertToFormat(QImage::Format_RGBA8888);
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = rgba.width();
    picture.height = rgba.height();
    ok = WebPPictureImportRGBA(&picture, rgba.constBits(), int(rgba.bytesPerLine())) &&
         WebPAnimEncoderAdd(encoder, &picture, at, &config);
    WebPPictureFree(&picture);
    at += f.durationMs;
  }
  WebPData data;
  WebPDataInit(&data);
  ok = ok && WebPAnimEncoderAdd(encoder, nullptr, at, nullptr) && WebPAnimEncoderAssemble(encoder, &data);
  std::string bytes = ok ? std::string(reinterpret_cast<const char*>(data.bytes), data.size) : std::string();
  WebPDataClear(&data);
  if (encoder) WebPAnimEncoderDelete(encoder);
  return bytes;
}

// An AVIF still at `quality` (0-100; 100 is lossless 4:4:4), alpha kept. `quarterTurns`
// (anticlockwise) and `mirror` (0: top and bottom exchanged, 1: left and right; -1: none) are
// written as the container's transforms, for a reader to apply after decoding. Empty on failure.
inline std::string writeAvif(const QImage& picture, int quality = 70, int quarterTurns = 0, int mirror = -1) {
  const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
  const bool lossless = quality >= 100;
  avifImage* image = avifImageCreate(uint32_t(rgba.width()), uint32_t(rgba.height()), 8,
                                     lossless ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420);
  if (lossless) image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
  image->yuvRange = AVIF_RANGE_FULL;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image);
  rgb.format = AVIF_RGB_FORMAT_RGBA;
  rgb.depth = 8;
  rgb.pixels = const_cast<uint8_t*>(rgba.constBits());
  rgb.rowBytes = uint32_t(rgba.bytesPerLine());
  if (quarterTurns % 4) {
    image->transformFlags |= AVIF_TRANSFORM_IROT;
    image->irot.angle = uint8_t(quarterTurns % 4);
  }
  if (mirror >= 0) {
    image->transformFlags |= AVIF_TRANSFORM_IMIR;
    image->imir.mode = uint8_t(mirror);
  }
  std::string bytes;
  avifEncoder* encoder = avifEncoderCreate();
  encoder->maxThreads = 1;
  encoder->speed = AVIF_SPEED_FASTEST;
  const int q = lossless ? AVIF_QUANTIZER_LOSSLESS : (100 - quality) * AVIF_QUANTIZER_WORST_QUALITY / 100;
  encoder->minQuantizer = encoder->maxQuantizer = q;
  encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = lossless ? AVIF_QUANTIZER_LOSSLESS : q;
  avifRWData out = AVIF_DATA_EMPTY;
  if (avifImageRGBToYUV(image, &rgb) == AVIF_RESULT_OK &&
      avifEncoderWrite(encoder, image, &out) == AVIF_RESULT_OK)
    bytes.assign(reinterpret_cast<const char*>(out.data), out.size);
  avifRWDataFree(&out);
  avifEncoderDestroy(encoder);
  avifImageDestroy(image);
  return bytes;
}

}  // namespace mw::picture
