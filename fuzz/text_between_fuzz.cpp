// Marker extraction over arbitrary pages, markers and options.
#include <fuzzer/FuzzedDataProvider.h>

#include "runtime/markers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool caseSensitive = in.ConsumeBool();
  const bool includeStart = in.ConsumeBool();
  const bool includeEnd = in.ConsumeBool();
  const int maxLength = in.ConsumeIntegralInRange<int>(-2, 64);
  const int startPos = in.ConsumeIntegralInRange<int>(-4, 1 << 16);
  const std::string start = in.ConsumeRandomLengthString(16);
  const std::string end = in.ConsumeRandomLengthString(16);
  const std::string prefix = in.ConsumeRandomLengthString(4);
  const std::string suffix = in.ConsumeRandomLengthString(4);
  const std::string text = in.ConsumeRemainingBytesAsString();

  const mw::Text one = mw::runtime::textBetween(text, start, end, startPos, !caseSensitive);
  if (one.size() > text.size()) __builtin_trap();

  mw::TextArray out{"stale"};
  const int n = mw::runtime::textBetweenAll(text, start, end, out, caseSensitive, maxLength, prefix, suffix,
                                            includeStart, includeEnd, startPos);
  if (n != static_cast<int>(out.size())) __builtin_trap();
  for (const auto& piece : out) {
    if (piece.empty()) __builtin_trap();
    if (maxLength != 0 && static_cast<long long>(piece.size()) >= maxLength) __builtin_trap();
    if (includeEnd && piece.compare(piece.size() - end.size(), end.size(), end) != 0) __builtin_trap();
  }
  return 0;
}
