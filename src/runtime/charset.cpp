#include "runtime/charset.h"

#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace mw::runtime {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (ok()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Width of one code unit of the source charset, used to skip an undecodable unit.
std::size_t unitWidth(const char* charset) {
  if (strncasecmp(charset, "UTF-16", 6) == 0 || strncasecmp(charset, "UCS-2", 5) == 0) return 2;
  if (strncasecmp(charset, "UTF-32", 6) == 0 || strncasecmp(charset, "UCS-4", 5) == 0) return 4;
  return 1;
}

// An open converter with the target's "?", kept per thread: opening one costs far more than
// converting a short text, and texts are converted at every edge.
struct Converter {
  std::unique_ptr<IconvHandle> cd;
  std::string questionMark = "?";
};

Converter* converterFor(const char* from, const char* to) {
  thread_local std::map<std::string, std::unique_ptr<Converter>> cache;
  std::string key = std::string(from) + '\n' + to;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.get();

  auto converter = std::make_unique<Converter>();
  converter->cd = std::make_unique<IconvHandle>(to, from);
  if (!converter->cd->ok()) return nullptr;  // unknown names are not cached; they are rare
  IconvHandle question(to, "ASCII");
  if (question.ok()) {
    char in[] = "?";
    char out[8];
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(question.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
      converter->questionMark.assign(out, outPtr);
  }
  if (cache.size() >= 32) cache.clear();
  return cache.emplace(std::move(key), std::move(converter)).first->second.get();
}

// How many bytes of the input the unconvertible character at `in` takes: the whole character
// where the source's encoding tells its length, one unit of `unit` bytes otherwise.
std::size_t badCharacterLength(const char* from, const char* in, std::size_t left, std::size_t unit) {
  std::size_t n = std::min(unit, left);
  if (strcasecmp(from, "UTF-8") == 0) {
    // A character that decodes but is missing from the target: one "?" rather than one per byte.
    unsigned char b = static_cast<unsigned char>(*in);
    std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    std::size_t k = 1;
    while (k < len && k < left && (static_cast<unsigned char>(in[k]) & 0xC0) == 0x80) ++k;
    n = k;
  } else if ((strcasecmp(from, "GBK") == 0 || strcasecmp(from, "CP936") == 0) &&
             static_cast<unsigned char>(*in) >= 0x81 && left >= 2) {
    // Only a byte that can be a trail byte belongs to the bad character; an ASCII byte after a
    // stray lead byte must survive.
    const auto trail = static_cast<unsigned char>(in[1]);
    if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) n = 2;
  } else if (unit == 2 && left >= 4 && strncasecmp(from, "UTF-16", 6) == 0) {
    // A surrogate pair whose character the target lacks is one character.
    const bool bigEndian = strcasecmp(from, "UTF-16BE") == 0;
    auto at = [&](std::size_t k) {
      const auto a = static_cast<unsigned char>(in[k]), b = static_cast<unsigned char>(in[k + 1]);
      return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    if (at(0) >= 0xD800 && at(0) < 0xDC00 && at(2) >= 0xDC00 && at(2) < 0xE000) n = 4;
  }
  return n;
}

}  // namespace

std::optional<std::string> convertCharset(std::string_view input, const char* from, const char* to,
                                          bool strict) {
  Converter* converter = converterFor(from, to);
  if (!converter) return std::nullopt;
  IconvHandle& cd = *converter->cd;
  const std::string& questionMark = converter->questionMark;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);  // a fresh shift state

  std::string result;
  result.reserve(input.size() * 2 + 8);
  char* inPtr = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  const std::size_t skip = unitWidth(from);
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    result.append(buffer, outPtr);
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (strict) return std::nullopt;
    // EILSEQ: unconvertible; EINVAL: truncated sequence at the end. Either way one "?".
    result += questionMark;
    const std::size_t n = errno == EILSEQ ? badCharacterLength(from, inPtr, inLeft, skip) : inLeft;
    inPtr += n;
    inLeft -= n;
  }
  // Flush any shift state.
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
  result.append(buffer, outPtr);
  return result;
}

}  // namespace mw::runtime
