#pragma once
// Decodes picture bytes (PNG, JPEG, GIF, BMP) held in memory. Hostile input never crashes:
// errors are reported, and pictures beyond kMaxSide per side, kMaxPixels in all or
// kMaxFrames frames are refused before anything is allocated for them.
#include <QImage>
#include <QSize>
#include <QString>
#include <string_view>
#include <vector>

namespace mw::toolkit {

inline constexpr int kMaxSide = 16384;
inline constexpr long long kMaxPixels = 64LL * 1024 * 1024;
inline constexpr int kMaxFrames = 1000;

enum class PictureFormat { Unknown, Png, Jpeg, Gif, Bmp };

struct PictureFrame {
  QImage image;     // ARGB32 or RGB32
  int delayMs = 0;  // display time of this frame (GIF); 0 for stills
};

struct DecodedPicture {
  PictureFormat format = PictureFormat::Unknown;
  QSize naturalSize;                 // the picture's own size, before any DCT scaling
  std::vector<PictureFrame> frames;  // one for a still, several for an animated GIF
  QString error;                     // why decoding failed; empty on success
  bool ok() const { return error.isEmpty() && !frames.empty(); }
  bool animated() const { return frames.size() > 1; }
};

// Format by the leading signature bytes.
PictureFormat sniffPictureFormat(std::string_view bytes);

// Decodes `bytes`. When `shownAt` is valid and a JPEG is at least twice that size in both
// directions, libjpeg's DCT scaling decodes it smaller (never below shownAt); naturalSize
// still reports the full size.
DecodedPicture decodePicture(std::string_view bytes, QSize shownAt = QSize());

}  // namespace mw::toolkit
