// Percent-decoding of arbitrary text; encoding must undo it.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool utf8 = in.ConsumeBool();
  const bool keepSafe = in.ConsumeBool();
  const std::string text = in.ConsumeRemainingBytesAsString();

  const mw::Text decoded = mw::net::urlDecode(text, utf8);
  if (decoded.find('\0') != std::string::npos) __builtin_trap();

  const mw::Text plain = mw::runtime::textFromBytes(text);
  if (mw::net::urlDecode(mw::net::urlEncode(plain, keepSafe)) != plain) __builtin_trap();
  mw::net::fromWide(mw::net::toWide(plain));
  mw::net::utf8ToGbk(mw::net::gbkToUtf8(plain));
  return 0;
}
