// libFuzzer harness for the GIF decoder (the format decoder itself, so no input is spent on
// finding the signature), the copy's test for an animation, and the streaming player: frames
// advanced through more than a loop at the natural size, resampled smaller, and with no room to
// keep changes (decoding anew each loop), and the budget squeezed by the first input byte so
// that canvases are refused.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "picture_fuzz_common.h"
#include "picture/gif_animation.h"

namespace {

using namespace mw::picture;

void play(const std::shared_ptr<const mw::Bytes>& bytes, QSize shown, std::size_t cacheBudget) {
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
            player.delayMs() < 0 || (player.animated() ? player.delayMs() < 20 : player.delayMs() != 0))
          std::abort();
        if (decodedInUse() - before != player.memoryHeld()) std::abort();
        player.advance();
      }
    }
  }
  if (decodedInUse() != before) std::abort();  // everything taken was given back
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(detail::decodeGif, bytes);
  isAnimatedGif(bytes);  // walks the blocks itself

  // All but a part of the budget is held elsewhere: from nothing left to 255 MiB.
  DecodeMemory others;
  if (size > 0) {
    std::size_t squeeze = std::size_t(255 - data[0]) << 20;
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
  return 0;
}
