// libFuzzer harness for the AVIF decoder and the size read from its container, which must be
// the size its decode gives.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "picture_fuzz_common.h"

using namespace mw::picture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mw::fuzz::decodeAndCheck(detail::decodeAvif, bytes);
  // The size read without decoding is the size the decode gives.
  const DecodedPicture p = decodePicture(bytes);
  if (p.ok() && p.format == PictureFormat::Avif && headerSize(bytes) != p.naturalSize) std::abort();
  return 0;
}
