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

using namespace mw::picture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(detail::decodeGif, bytes);
  isAnimatedGif(bytes);  // walks the blocks itself

  mw::fuzz::playSqueezed(bytes);
  return 0;
}
