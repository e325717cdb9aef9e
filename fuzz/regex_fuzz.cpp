// Compiling arbitrary patterns and reading every match back over arbitrary GBK-ish subjects.
#include <fuzzer/FuzzedDataProvider.h>

#include "net/regex_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool caseSensitive = in.ConsumeBool();
  const bool multiline = in.ConsumeBool();
  const bool global = in.ConsumeBool();
  const bool quoteToken = in.ConsumeBool();
  const std::string pattern = in.ConsumeRandomLengthString(64);
  const std::string replacement = in.ConsumeRandomLengthString(16);
  const std::string subject = in.ConsumeRemainingBytesAsString();

  mw::net::RegexObject re;
  re.create(pattern, subject, caseSensitive, multiline, global, quoteToken);
  re.pattern();
  re.replace(replacement);
  const int groups = re.submatchCount();
  const int count = re.matchCount();
  for (int m = 0; m <= count + 1; ++m) {
    int pos = 0;
    const mw::Text text = re.matchText(m, &pos);
    if (m >= 1 && m <= count && subject.compare(pos, text.size(), text) != 0) __builtin_trap();
    for (int g = 0; g <= groups + 1; ++g) {
      const mw::Text sub = re.submatchText(m, g, &pos);
      if (pos != -2 && subject.compare(pos, sub.size(), sub) != 0) __builtin_trap();
    }
  }
  const mw::net::RegexObject copy = re.copy();
  if (copy.matchCount() != count) __builtin_trap();
  return 0;
}
