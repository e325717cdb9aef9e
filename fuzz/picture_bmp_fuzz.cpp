// libFuzzer harness for the BMP decoder (the format decoder itself, so no input is
// spent on finding the signature).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "picture_fuzz_common.h"
#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(mw::picture::detail::decodeBmp, bytes);
  return 0;
}
