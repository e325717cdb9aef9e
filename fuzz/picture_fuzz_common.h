#pragma once
// Shared checks of the picture decoder harnesses: whatever the bytes, a result is either an
// error without frames or frames of sane, non-null images within the limits.
// fuzz/run.sh builds and runs the picture_*_fuzz harnesses.
#include <cstdlib>

#include "toolkit/picture_decoder.h"

namespace mw::fuzz {

inline void checkDecoded(const mw::toolkit::DecodedPicture& p) {
  using namespace mw::toolkit;
  if (!p.ok()) return;
  if (int(p.frames.size()) > kMaxFrames) std::abort();
  for (const PictureFrame& f : p.frames) {
    const QImage& img = f.image;
    if (img.isNull() || img.width() > kMaxSide || img.height() > kMaxSide ||
        (long long)img.width() * img.height() > kMaxPixels || f.delayMs < 0)
      std::abort();
  }
}

}  // namespace mw::fuzz
