#pragma once
// Shared checks of the picture decoder harnesses: whatever the bytes, a result is either an
// error without frames or frames of sane, non-null images within the limits.
//
// Build one harness by hand (from the source root; FMT is png, jpeg, gif or bmp):
//   clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -Isrc \
//     $(pkg-config --cflags Qt6Gui libpng libjpeg) fuzz/picture_FMT_fuzz.cpp \
//     src/toolkit/picture_decoder.cpp src/toolkit/png_decoder.cpp src/toolkit/jpeg_decoder.cpp \
//     src/toolkit/gif_decoder.cpp $(pkg-config --libs Qt6Gui libpng libjpeg) -lgif -lz -o picture_FMT_fuzz
// and run it on a scratch copy of its seeds: ./picture_FMT_fuzz -max_total_time=60 CORPUS_DIR
// (seeds in fuzz/corpus/picture_FMT_fuzz/).
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
