#pragma once
// Shared checks of the picture decoder harnesses: whatever the bytes, a result is either an
// error without a picture or a sane, non-null image within the limits, and the memory given
// holds exactly what the image takes (nothing after an error).
// fuzz/run.sh builds and runs the picture_*_fuzz harnesses.
#include <cstdlib>
#include <string_view>

#include "picture/picture_codecs.h"
#include "picture/picture_decoder.h"

namespace mw::fuzz {

inline void checkDecoded(const mw::picture::DecodedPicture& p) {
  using namespace mw::picture;
  if (!p.ok()) return;
  const QImage& img = p.image;
  if (img.isNull() || img.width() > kMaxSide || img.height() > kMaxSide ||
      (long long)img.width() * img.height() > kMaxPixels)
    std::abort();
}

// One format decoder on `bytes` as a one-off decode, shown at `shownAt` (invalid: full size).
template <typename Decoder>
void decodeAndCheck(Decoder decode, std::string_view bytes, QSize shownAt = QSize()) {
  using namespace mw::picture;
  DecodeMemory memory(false, detail::frameBytes(1, kMaxPixels));
  DecodeTarget target;
  if (shownAt.isValid()) target.shownSize = [shownAt](QSize) { return shownAt; };
  target.memory = &memory;
  const DecodedPicture p = decode(bytes, target);
  checkDecoded(p);
  if (memory.held() != (p.ok() ? detail::frameBytes(p.image.width(), p.image.height()) : 0)) std::abort();
}

}  // namespace mw::fuzz
