// libFuzzer harness for the WebP decoder (stills, at full size and scaled while decoded), the
// frames given for the GIF conversion, and the streaming player as the GIF harness drives it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "picture/animation_frames.h"
#include "picture_fuzz_common.h"

using namespace mw::picture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(detail::decodeWebp, bytes);
  mw::fuzz::decodeAndCheck(detail::decodeWebp, bytes, QSize(37, 23));
  isAnimatedWebp(bytes);
  headerSize(bytes);

  const AnimationFrames all = readAnimationFrames(bytes);
  if (all.ok() != all.error.isEmpty() || all.frames.size() > std::size_t(kMaxFrames)) std::abort();
  for (const AnimationFrame& f : all.frames)
    if (f.image.size() != all.size || f.image.format() != QImage::Format_RGBA8888 || f.delayMs <= 10)
      std::abort();

  mw::fuzz::playSqueezed(bytes);
  return 0;
}
