// libFuzzer harness for the PNG decoder (the format decoder itself, so no input is spent on
// finding the signature). Chunk CRCs are recomputed first: otherwise nearly every mutation
// would stop at the first CRC check and the decoder behind it would never be reached.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture_fuzz_common.h"
#include "picture/picture_codecs.h"

namespace {

void fixChunkCrcs(std::string& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const auto byte = [&](std::size_t i) { return std::uint32_t(static_cast<unsigned char>(png[i])); };
    const std::uint32_t length = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    if (length > png.size() - at - 12) break;
    const std::size_t crcAt = at + 8 + length;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), uInt(length + 4));
    for (int i = 0; i < 4; ++i) png[crcAt + std::size_t(i)] = char(crc >> (24 - 8 * i));
    at = crcAt + 4;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  fixChunkCrcs(bytes);
  mw::fuzz::decodeAndCheck(mw::picture::detail::decodePng, bytes);
  return 0;
}
