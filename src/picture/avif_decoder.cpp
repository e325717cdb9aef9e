// AVIF stills (the first image of a sequence) through libavif and dav1d. The size is read
// from the container and checked before the AV1 data is decoded.
#include <avif/avif.h>

#include <QSysInfo>
#include <QTransform>
#include <memory>

#include "picture/picture_codecs.h"

namespace mw::picture::detail {
namespace {

struct DecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

QString avifError(avifResult result) {
  return QStringLiteral("AVIF: ") + QString::fromLatin1(avifResultToString(result));
}

// Bytes of the decoded planes of a w x h picture, before they become RGB.
std::size_t planeBytes(const avifImage& image, bool alpha) {
  const std::size_t pixels = std::size_t(image.width) * image.height;
  std::size_t samples = pixels;  // luma
  switch (image.yuvFormat) {
    case AVIF_PIXEL_FORMAT_YUV444:
      samples += 2 * pixels;
      break;
    case AVIF_PIXEL_FORMAT_YUV422:
      samples += pixels;
      break;
    case AVIF_PIXEL_FORMAT_YUV420:
      samples += pixels / 2;
      break;
    default:
      break;
  }
  if (alpha) samples += pixels;
  return samples * (image.depth > 8 ? 2 : 1);
}

// A decoder that has read the container (sizes and transforms, no pixels yet); null with
// `error` set when it cannot be read.
std::unique_ptr<avifDecoder, DecoderDeleter> parseAvif(std::string_view bytes, QString& error) {
  std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
  if (!decoder) {
    error = QStringLiteral("AVIF: out of memory");
    return nullptr;
  }
  decoder->maxThreads = 1;
  decoder->imageSizeLimit = uint32_t(kMaxPixels);
  decoder->imageDimensionLimit = uint32_t(kMaxSide);
  decoder->imageCountLimit = 1;  // a sequence shows its first image
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  avifResult result =
      avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder.get());
  if (result != AVIF_RESULT_OK) {
    error = avifError(result);
    return nullptr;
  }
  return decoder;
}

// The size shown: a quarter turn exchanges the sides.
QSize orientedSize(const avifImage& image) {
  const bool turned = (image.transformFlags & AVIF_TRANSFORM_IROT) && image.irot.angle % 2 == 1;
  const int w = int(std::min<uint32_t>(image.width, INT32_MAX)),
            h = int(std::min<uint32_t>(image.height, INT32_MAX));
  return turned ? QSize(h, w) : QSize(w, h);
}

}  // namespace

QSize avifSize(std::string_view bytes) {
  QString error;
  const auto decoder = parseAvif(bytes, error);
  return decoder ? orientedSize(*decoder->image) : QSize();
}

DecodedPicture decodeAvif(std::string_view bytes, const DecodeTarget& target) {
  DecodedPicture out;
  out.format = PictureFormat::Avif;
  const auto decoder = parseAvif(bytes, out.error);
  if (!decoder) return out;
  const avifImage& header = *decoder->image;
  const long long w = header.width, h = header.height;
  out.naturalSize = orientedSize(header);
  if (!withinLimits(w, h)) {
    out.error = QStringLiteral("AVIF: picture too large (%1 x %2)").arg(w).arg(h);
    return out;
  }
  // The planes the AV1 decoder makes (and as much again for its own frame), the RGB frame,
  // and the frame turned or mirrored.
  const bool transformed = header.transformFlags & (AVIF_TRANSFORM_IROT | AVIF_TRANSFORM_IMIR);
  Reservation frame(*target.memory, frameBytes(w, h));
  Reservation planes(*target.memory, 2 * planeBytes(header, decoder->alphaPresent));
  Reservation turnedCopy;
  if (transformed) turnedCopy = Reservation(*target.memory, frameBytes(w, h));
  if (!frame || !planes || (transformed && !turnedCopy)) {
    out.error = QStringLiteral("AVIF: too large to show (%1 x %2)").arg(w).arg(h);
    return out;
  }
  avifResult result = avifDecoderNextImage(decoder.get());
  if (result != AVIF_RESULT_OK) {
    out.error = avifError(result);
    return out;
  }
  const avifImage& decoded = *decoder->image;
  if (decoded.width != header.width || decoded.height != header.height) {
    out.error = QStringLiteral("AVIF: image size differs from its header");
    return out;
  }
  const bool alpha = decoded.alphaPlane != nullptr;
  QImage image(int(w), int(h), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) {
    out.error = QStringLiteral("AVIF: out of memory");
    return out;
  }
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &decoded);
  rgb.depth = 8;
  // BGRA bytes are ARGB32 on a little-endian machine.
  rgb.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
  rgb.ignoreAlpha = !alpha;
  rgb.pixels = image.bits();
  rgb.rowBytes = uint32_t(image.bytesPerLine());
  result = avifImageYUVToRGB(&decoded, &rgb);
  if (result != AVIF_RESULT_OK) {
    out.error = avifError(result);
    return out;
  }
  // Rotated a quarter turn anticlockwise per step, then mirrored, as the container says.
  if (decoded.transformFlags & AVIF_TRANSFORM_IROT && decoded.irot.angle % 4)
    image = image.transformed(QTransform().rotate(-90.0 * (decoded.irot.angle % 4)));
  if (decoded.transformFlags & AVIF_TRANSFORM_IMIR)
    image = decoded.imir.mode == 0 ? image.mirrored(false, true) : image.mirrored(true, false);
  if (image.isNull()) {
    out.error = QStringLiteral("AVIF: out of memory");
    return out;
  }
  frame.keep();
  out.image = std::move(image);
  return out;
}

}  // namespace mw::picture::detail
