#pragma once
// Per-format decoders behind decodePicture(). Each one checks the declared size against the
// limits of picture_decoder.h and takes the decoded frame's memory from target.memory (never
// null here) before allocating pixels, and reports failures in DecodedPicture::error instead
// of crashing.
#include <QSize>
#include <string_view>

#include "picture/picture_decoder.h"

namespace mw::picture::detail {

// True when a w x h picture is within kMaxSide and kMaxPixels (and not empty).
inline bool withinLimits(long long w, long long h) {
  return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// Bytes of a w x h frame at 4 bytes a pixel.
inline std::size_t frameBytes(long long w, long long h) { return std::size_t(w) * std::size_t(h) * 4; }
inline std::size_t frameBytes(QSize s) { return frameBytes(s.width(), s.height()); }

DecodedPicture decodePng(std::string_view bytes, const DecodeTarget& target);
DecodedPicture decodeJpeg(std::string_view bytes, const DecodeTarget& target);
DecodedPicture decodeGif(std::string_view bytes, const DecodeTarget& target);
DecodedPicture decodeBmp(std::string_view bytes, const DecodeTarget& target);
DecodedPicture decodeWebp(std::string_view bytes, const DecodeTarget& target);
DecodedPicture decodeAvif(std::string_view bytes, const DecodeTarget& target);
// An AVIF's size as shown (after its transforms), from its container; empty when unreadable.
QSize avifSize(std::string_view bytes);

// The DCT scale denominator (1, 2, 4 or 8) for a w x h JPEG shown at `shownAt`: the largest one
// that keeps both sides at least as large as shownAt, used only when the picture is at least
// twice shownAt in both directions.
int jpegScaleDenominator(int w, int h, QSize shownAt);

}  // namespace mw::picture::detail
