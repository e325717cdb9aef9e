#pragma once
// Shared checks of the picture decoder harnesses: whatever the bytes, a result is either an
// error without a picture or a sane, non-null image within the limits, and the memory given
// holds exactly what the image takes (nothing after an error).
// fuzz/run.sh builds and runs the picture_*_fuzz harnesses.
#include <cstdlib>
#include <memory>
#include <string_view>

#include "picture/gif_animation.h"
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

// The streaming player on `bytes`: frames advanced through more than a loop, checked at every
// step, and everything it took given back at the end.
inline void play(const std::shared_ptr<const mw::Bytes>& bytes, QSize shown, std::size_t cacheBudget) {
  using namespace mw::picture;
  const std::size_t before = decodedInUse();
  {
    GifAnimation player(bytes,
                        shown.isValid() ? [shown](QSize) { return shown; } : std::function<QSize(QSize)>(),
                        cacheBudget);
    if (!player.error().isEmpty()) {
      if (!player.frame().isNull() || player.memoryHeld() != 0) std::abort();
    } else {
      const QSize want = shown.isValid() ? shown : player.naturalSize();
      for (int step = 0; step < 64; ++step) {
        const QImage& frame = player.frame();
        if (frame.size() != want || player.index() < 0 || player.index() >= kMaxFrames ||
            player.delayMs() < 0 || (player.animated() && player.delayMs() <= 10))
          std::abort();
        if (decodedInUse() - before != player.memoryHeld()) std::abort();
        player.advance();
      }
    }
  }
  if (decodedInUse() != before) std::abort();  // everything taken was given back
}

// The player at the natural size, resampled smaller, and with no room to keep changes
// (decoding anew each loop), with all but a part of the budget held elsewhere (from nothing
// left to 255 MiB, by the first byte) so that canvases are refused.
inline void playSqueezed(std::string_view bytes) {
  using namespace mw::picture;
  DecodeMemory others;
  if (!bytes.empty()) {
    std::size_t squeeze = std::size_t(255 - static_cast<unsigned char>(bytes[0])) << 20;
    while (squeeze > 0) {
      const std::size_t part = std::min(squeeze, kFrameCap);
      if (!others.take(part)) break;
      squeeze -= part;
    }
  }
  const auto shared = std::make_shared<const mw::Bytes>(bytes);
  play(shared, QSize(), kFrameCacheBudget);
  play(shared, QSize(37, 23), kFrameCacheBudget);
  play(shared, QSize(37, 23), 0);
}

}  // namespace mw::fuzz
