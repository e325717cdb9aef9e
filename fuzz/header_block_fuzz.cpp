// Response header blocks (status, cookies, Location) and the page charset step on arbitrary
// bytes: the first part is read as a header block, the rest as a page body.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/header_block.h"
#include "net/page_charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::Text block = in.ConsumeRandomLengthString(size);
  const mw::Bytes body = in.ConsumeRemainingBytesAsString();

  const mw::Text status = mw::net::statusFromHeaders(block);
  // The CRLF search steps over double-byte characters, so only the start is fixed.
  if (!status.empty() && block.compare(9, status.size(), status) != 0) __builtin_trap();
  const mw::Text normalised = mw::net::normaliseCookieHeaderNames(block);
  if (normalised.size() != block.size()) __builtin_trap();
  mw::Text location = "unset";
  mw::net::cookiesFromHeaders(normalised, &location);
  if (location != "unset" && location.find("\r\n") != std::string::npos) __builtin_trap();

  const mw::Text page = mw::net::pageToGbk(body);
  if (page.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
