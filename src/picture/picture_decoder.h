#pragma once
// Decodes picture bytes (PNG, JPEG, GIF, BMP, WebP, AVIF) held in memory, for display or once at full
// size. Hostile input never crashes: errors are reported, and pictures beyond kMaxSide per
// side or kMaxPixels in all, or whose decoded frame the memory given does not admit, are
// refused before anything is allocated for them. An animation gives its first frame (a
// FrameStream and GifAnimation play the rest).
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <string_view>

#include "picture/decode_memory.h"

namespace mw::picture {

inline constexpr int kMaxSide = 16384;
inline constexpr long long kMaxPixels = 64LL * 1024 * 1024;

enum class PictureFormat { Unknown, Png, Jpeg, Gif, Bmp, Webp, Avif };

struct DecodedPicture {
  PictureFormat format = PictureFormat::Unknown;
  QSize naturalSize;  // the picture's own size, before any DCT scaling
  QImage image;       // ARGB32 or RGB32 (premultiplied ARGB32 for an animation's frame)
  QString error;      // why decoding failed; empty on success
  bool ok() const { return error.isEmpty() && !image.isNull(); }
};

struct DecodeTarget {
  // The size the picture is shown at, given its natural size; unset: its natural size. A JPEG
  // at least twice that size in both directions is decoded smaller with libjpeg's DCT scaling
  // (never below it).
  std::function<QSize(QSize natural)> shownSize{};
  // Charged with the decoded frame before it is allocated, and left holding it only for a
  // picture that comes through. Unset: a one-off decode of up to kMaxPixels pixels.
  DecodeMemory* memory = nullptr;
};

// Format by the leading signature bytes.
PictureFormat sniffPictureFormat(std::string_view bytes);

// The MIME type of pictures in `format`; empty for Unknown.
std::string_view mimeType(PictureFormat format);

// The picture's own size as shown, read from its header without decoding it; empty for bytes
// that are no picture of a known format.
QSize headerSize(std::string_view bytes);

// A GIF with a second frame, found by walking its blocks without decoding them.
bool isAnimatedGif(std::string_view bytes);
// A WebP whose header says it is an animation.
bool isAnimatedWebp(std::string_view bytes);

DecodedPicture decodePicture(std::string_view bytes, const DecodeTarget& target = {});
// A one-off decode for display at `shownAt`.
DecodedPicture decodePicture(std::string_view bytes, QSize shownAt);

}  // namespace mw::picture
