#include "picture/picture_decoder.h"

#include <webp/decode.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstdint>
#include <cstring>
#include <new>

#include "picture/gif_stream.h"
#include "picture/picture_codecs.h"
#include "picture/webp_stream.h"

namespace mw::picture {
namespace detail {
namespace {

std::int32_t readLe32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
  return static_cast<std::int32_t>(v);
}
std::int32_t readBe32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
  return static_cast<std::int32_t>(v);
}
int readLe16(std::string_view b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

}  // namespace

DecodedPicture decodeBmp(std::string_view bytes, const DecodeTarget& target) {
  DecodedPicture out;
  out.format = PictureFormat::Bmp;
  // File header (14 bytes), then the info header's size and the dimensions; the 12-byte OS/2
  // header holds them in 16 bits, the others in 32 (height negative for top-down rows).
  if (bytes.size() < 26) {
    out.error = QStringLiteral("BMP: truncated header");
    return out;
  }
  long long w = 0, h = 0;
  if (readLe32(bytes, 14) == 12) {
    w = readLe16(bytes, 18);
    h = readLe16(bytes, 20);
  } else {
    w = readLe32(bytes, 18);
    h = readLe32(bytes, 22);
    if (h < 0) h = -h;
  }
  out.naturalSize = QSize(int(std::min(w, (long long)INT32_MAX)), int(std::min(h, (long long)INT32_MAX)));
  if (!withinLimits(w, h)) {
    out.error = QStringLiteral("BMP: bad or too large size (%1 x %2)").arg(w).arg(h);
    return out;
  }
  Reservation frame(*target.memory, frameBytes(w, h));
  if (!frame) {
    out.error = QStringLiteral("BMP: too large to show (%1 x %2)").arg(w).arg(h);
    return out;
  }
  QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "BMP");
  // Qt's own cap (128 MB by default) would refuse pictures our limits allow.
  reader.setAllocationLimit(int(target.memory->largest() >> 20) + 1);
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    out.error = QStringLiteral("BMP: ") + reader.errorString();
    return out;
  }
  out.naturalSize = image.size();
  out.image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (out.image.isNull())
    out.error = QStringLiteral("BMP: out of memory");
  else
    frame.keep();
  return out;
}

}  // namespace detail

PictureFormat sniffPictureFormat(std::string_view bytes) {
  auto startsWith = [&](std::string_view sig) { return bytes.substr(0, sig.size()) == sig; };
  if (startsWith(std::string_view("\x89PNG\r\n\x1a\n", 8))) return PictureFormat::Png;
  if (startsWith("\xFF\xD8\xFF")) return PictureFormat::Jpeg;
  if (startsWith("GIF87a") || startsWith("GIF89a")) return PictureFormat::Gif;
  if (startsWith("BM")) return PictureFormat::Bmp;
  if (bytes.size() >= 12 && startsWith("RIFF") && bytes.substr(8, 4) == "WEBP") return PictureFormat::Webp;
  // An ISO-BMFF file whose first box is "ftyp" naming AVIF among its brands.
  if (bytes.size() >= 16 && bytes.substr(4, 4) == "ftyp") {
    const std::size_t box = std::min<std::size_t>(std::uint32_t(detail::readBe32(bytes, 0)), bytes.size());
    for (std::size_t at = 8; at + 4 <= box; at += 4) {
      if (at == 12) continue;  // the minor version
      const std::string_view brand = bytes.substr(at, 4);
      if (brand == "avif" || brand == "avis") return PictureFormat::Avif;
    }
  }
  return PictureFormat::Unknown;
}

std::string_view mimeType(PictureFormat format) {
  switch (format) {
    case PictureFormat::Png:
      return "image/png";
    case PictureFormat::Jpeg:
      return "image/jpeg";
    case PictureFormat::Gif:
      return "image/gif";
    case PictureFormat::Bmp:
      return "image/bmp";
    case PictureFormat::Webp:
      return "image/webp";
    case PictureFormat::Avif:
      return "image/avif";
    case PictureFormat::Unknown:
      break;
  }
  return {};
}

bool isAnimatedGif(std::string_view bytes) {
  if (sniffPictureFormat(bytes) != PictureFormat::Gif || bytes.size() < 13) return false;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  // Bytes of the colour table that follows a block with these flags.
  const auto table = [](unsigned char flags) -> std::size_t {
    return flags & 0x80 ? 3u << ((flags & 7) + 1) : 0;
  };
  // Past the data sub-blocks that start at `i` and the empty one that ends them.
  const auto skipSubBlocks = [&](std::size_t i) {
    while (i < bytes.size() && at(i) != 0) i += at(i) + 1u;
    return i + 1;
  };
  int frames = 0;
  for (std::size_t i = 13 + table(at(10)); i < bytes.size();) {
    if (at(i) == 0x21) {  // an extension: label, then sub-blocks
      i = skipSubBlocks(i + 2);
    } else if (at(i) == 0x2C && i + 10 < bytes.size()) {  // an image: descriptor, table, code size, data
      if (++frames == 2) return true;
      i = skipSubBlocks(i + 10 + table(at(i + 9)) + 1);
    } else {
      return false;  // the trailer, or what no GIF holds
    }
  }
  return false;
}

QSize headerSize(std::string_view bytes) {
  switch (sniffPictureFormat(bytes)) {
    case PictureFormat::Unknown:
      return {};
    case PictureFormat::Webp: {
      WebPBitstreamFeatures features;
      return WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &features) ==
                     VP8_STATUS_OK
                 ? QSize(features.width, features.height)
                 : QSize();
    }
    case PictureFormat::Avif:
      return detail::avifSize(bytes);
    default: {
      QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
      QBuffer buffer(&data);
      buffer.open(QIODevice::ReadOnly);
      return QImageReader(&buffer).size();
    }
  }
}

bool isAnimatedWebp(std::string_view bytes) {
  WebPBitstreamFeatures features;
  return sniffPictureFormat(bytes) == PictureFormat::Webp &&
         WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &features) ==
             VP8_STATUS_OK &&
         features.has_animation;
}

std::unique_ptr<FrameStream> FrameStream::open(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory) {
  switch (sniffPictureFormat(*bytes)) {
    case PictureFormat::Gif:
      return std::make_unique<GifStream>(std::move(bytes), memory);
    case PictureFormat::Webp:
      return std::make_unique<WebpStream>(std::move(bytes), memory);
    default:
      return nullptr;
  }
}

DecodedPicture decodePicture(std::string_view bytes, const DecodeTarget& target) {
  DecodeMemory oneOff(false, detail::frameBytes(1, kMaxPixels));
  DecodeTarget t = target;
  if (!t.memory) t.memory = &oneOff;
  try {
    switch (sniffPictureFormat(bytes)) {
      case PictureFormat::Png:
        return detail::decodePng(bytes, t);
      case PictureFormat::Jpeg:
        return detail::decodeJpeg(bytes, t);
      case PictureFormat::Gif:
        return detail::decodeGif(bytes, t);
      case PictureFormat::Bmp:
        return detail::decodeBmp(bytes, t);
      case PictureFormat::Webp:
        return detail::decodeWebp(bytes, t);
      case PictureFormat::Avif:
        return detail::decodeAvif(bytes, t);
      case PictureFormat::Unknown:
        break;
    }
    DecodedPicture out;
    out.error = bytes.empty() ? QStringLiteral("no picture") : QStringLiteral("unknown picture format");
    return out;
  } catch (const std::bad_alloc&) {
    DecodedPicture out;
    out.format = sniffPictureFormat(bytes);
    out.error = QStringLiteral("out of memory");
    return out;
  }
}

DecodedPicture decodePicture(std::string_view bytes, QSize shownAt) {
  return decodePicture(bytes, {.shownSize = [shownAt](QSize) { return shownAt; }});
}

}  // namespace mw::picture
