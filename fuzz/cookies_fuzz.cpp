// Cookie merging of arbitrary old and new lists.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  mw::Text cookies = in.ConsumeRandomLengthString(size);
  mw::Text newCookies = in.ConsumeRemainingBytesAsString();
  const mw::Text merged = mw::net::mergeCookies(cookies, newCookies);
  if (merged != cookies) __builtin_trap();
  if (newCookies.find(' ') != std::string::npos) __builtin_trap();
  mw::net::cookieName(newCookies);
  return 0;
}
