// PNG through libpng's simplified read API, straight from memory.
#include <png.h>

#include "picture/picture_codecs.h"

namespace mw::picture::detail {
namespace {

// Owns the png_image's internal state; png_image_free is safe to call more than once.
struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  bool failed() const { return (image.warning_or_error & PNG_IMAGE_ERROR) != 0; }
  QString message() const { return QStringLiteral("PNG: ") + QString::fromLatin1(image.message); }
};

}  // namespace

DecodedPicture decodePng(std::string_view bytes, const DecodeTarget& target) {
  DecodedPicture out;
  out.format = PictureFormat::Png;
  PngImage png;
  if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size()) || png.failed()) {
    out.error = png.message();
    return out;
  }
  const png_uint_32 w = png.image.width, h = png.image.height;
  out.naturalSize = QSize(int(std::min<png_uint_32>(w, INT32_MAX)), int(std::min<png_uint_32>(h, INT32_MAX)));
  if (!withinLimits(w, h)) {
    out.error = QStringLiteral("PNG: picture too large (%1 x %2)").arg(w).arg(h);
    return out;
  }
  Reservation frame(*target.memory, frameBytes(w, h));
  if (!frame) {
    out.error = QStringLiteral("PNG: too large to show (%1 x %2)").arg(w).arg(h);
    return out;
  }
  // BGRA bytes in memory are QImage's ARGB32 on a little-endian machine; both unpremultiplied.
  png.image.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  // Without the flag, libpng takes 16-bit samples of a file that names no gamma as linear
  // light and brightens them on the way to 8-bit sRGB; such files mean sRGB, as browsers read
  // them.
  png.image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  QImage image(int(w), int(h), QImage::Format_ARGB32);
  if (image.isNull()) {
    out.error = QStringLiteral("PNG: out of memory");
    return out;
  }
  if (!png_image_finish_read(&png.image, nullptr, image.bits(), image.bytesPerLine(), nullptr) ||
      png.failed()) {
    out.error = png.message();
    return out;
  }
  frame.keep();
  out.image = std::move(image);
  return out;
}

}  // namespace mw::picture::detail
