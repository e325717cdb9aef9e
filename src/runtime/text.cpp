#include "runtime/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/charset.h"

namespace mw::runtime {

Text gbk(std::string_view utf8Text) { return convertCharset(utf8Text, "UTF-8", "GBK").value_or(Text{}); }

Text utf8(std::string_view gbkText) { return convertCharset(gbkText, "GBK", "UTF-8").value_or(Text{}); }

std::string utf8Wide(std::string_view text) {
  if (std::optional<std::string> strict = convertCharset(text, "GBK", "UTF-8", true))
    return *std::move(strict);
  return convertCharset(text, "GB18030", "UTF-8").value_or(std::string{});
}

namespace {

inline unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Compares `what` with the text at `at` (a character boundary), folding ASCII letters that
// stand as characters of their own in both strings.
bool equalsFolded(std::string_view text, std::size_t at, std::string_view what) {
  bool textTrail = false, whatTrail = false;
  for (std::size_t k = 0; k < what.size(); ++k) {
    auto t = static_cast<unsigned char>(text[at + k]);
    auto w = static_cast<unsigned char>(what[k]);
    if (t != w) {
      if (textTrail || whatTrail || lower(t) != lower(w) || lower(t) < 'a' || lower(t) > 'z') return false;
    }
    textTrail = !textTrail && isLeadByte(t);
    whatTrail = !whatTrail && isLeadByte(w);
  }
  return true;
}

}  // namespace

int findText(std::string_view text, std::string_view what, int from, bool ignoreCase) {
  if (what.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return -1;
  std::size_t i = from < 1 ? 0 : static_cast<std::size_t>(from - 1);
  const std::size_t n = text.size();
  if (i >= n || what.size() > n - i) return -1;
  const std::size_t last = n - what.size();  // last possible match start

  if (!ignoreCase) {
    // memmem finds candidates fast. Whether a candidate starts a character follows from the
    // bytes before it: a byte below 0x80 always ends a character (alone or as a trail byte),
    // and a run of high bytes after such a point pairs up lead+trail from its start. So the
    // candidate is on a boundary exactly when the run of high bytes right before it, back to
    // such a byte or to the known boundary i, is of even length.
    while (i <= last) {
      const void* hit = memmem(text.data() + i, n - i, what.data(), what.size());
      if (!hit) return -1;
      const std::size_t p = static_cast<const char*>(hit) - text.data();
      std::size_t run = 0;
      while (p - run > i && isLeadByte(static_cast<unsigned char>(text[p - run - 1]))) ++run;
      if (run % 2 == 0) return static_cast<int>(p + 1);
      i = p + 1;  // p is a trail byte; the character after it starts a boundary
    }
    return -1;
  }

  for (; i <= last; i += isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1) {
    if (equalsFolded(text, i, what)) return static_cast<int>(i + 1);
  }
  return -1;
}

Text replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

TextArray splitText(std::string_view text, std::string_view separator) {
  TextArray pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  while (start < text.size()) {
    const auto hit = text.find(separator, start);
    if (hit == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
  return pieces;
}

Text trimBlanks(std::string_view text) { return Text(trimmedBlanks(text)); }

std::string_view trimmedBlanks(std::string_view text) {
  std::size_t b = 0, e = text.size();
  for (;;) {
    if (b < e && text[b] == ' ') {
      ++b;
    } else if (e - b >= 2 && text[b] == '\xA1' && text[b + 1] == '\xA1') {
      b += 2;
    } else {
      break;
    }
  }
  for (;;) {
    if (e > b && text[e - 1] == ' ') {
      --e;
    } else if (e - b >= 2 && text[e - 2] == '\xA1' && text[e - 1] == '\xA1') {
      e -= 2;
    } else {
      break;
    }
  }
  return text.substr(b, e - b);
}

double toReal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
  bool digits = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') number += text[i++], digits = true;
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') number += text[i++], digits = true;
  }
  if (!digits) return 0.0;
  return std::strtod(number.c_str(), nullptr);
}

long long toInteger(std::string_view text) {
  const double value = std::trunc(toReal(text));
  constexpr double maxValue = 9.2e18;
  if (value >= maxValue) return std::numeric_limits<long long>::max();
  if (value <= -maxValue) return std::numeric_limits<long long>::min();
  return static_cast<long long>(value);
}

Text fromInteger(long long value) { return std::to_string(value); }

Text textFromBytes(std::string_view bytes) {
  const auto zero = bytes.find('\0');
  return Text(zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
}

}  // namespace mw::runtime
