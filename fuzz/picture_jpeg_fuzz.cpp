// libFuzzer harness for the JPEG decoder (the format decoder itself, so no input is
// spent on finding the signature).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "picture_fuzz_common.h"
#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(mw::picture::detail::decodeJpeg, bytes);
  // A small box makes every picture of 32 px or more take the DCT scaling road.
  mw::fuzz::decodeAndCheck(mw::picture::detail::decodeJpeg, bytes, QSize(16, 16));
  return 0;
}
