#include "net/encoding.h"

#include <algorithm>
#include <string>

#include "runtime/charset.h"

namespace mw::net {
using runtime::convertCharset;
using runtime::isLeadByte;
using runtime::textFromBytes;
namespace {

std::string codePageName(int codePage) {
  switch (codePage) {
    case 0:
    case 936:
      return "GBK";
    case 65001:
      return "UTF-8";
    case 1200:
      return "UTF-16LE";
    default:
      return "CP" + std::to_string(codePage);
  }
}

std::string_view upToZeroByte(std::string_view text) {
  const auto zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

// The whole UTF-16LE units before the first zero unit.
std::string_view upToZeroUnit(std::string_view buffer) {
  std::size_t n = 0;
  while (n + 1 < buffer.size() && (buffer[n] != '\0' || buffer[n + 1] != '\0')) n += 2;
  return buffer.substr(0, n);
}

// Characters of a GBK text: a byte of 0x80 or more takes the next byte with it.
std::size_t gbkCharacters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count)
    i += isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  return count;
}

int hexDigit(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  char c = text[i];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  static constexpr std::string_view digits = "0123456789ABCDEF";
  const auto at = digits.find(c);
  return at == std::string_view::npos ? -2 : static_cast<int>(at);
}

}  // namespace

Text urlEncode(std::string_view text, bool keepSafe, bool utf8) {
  text = upToZeroByte(text);
  if (text.empty()) return {};
  const Text bytes = utf8 ? gbkToUtf8(text) : Text(text);
  static constexpr char hex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const bool safe =
        (b >= 0x2D && b <= 0x39 && b != '/') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    if (keepSafe && safe) {
      out += c;
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 0x0F];
    }
  }
  return out;
}

Text urlDecode(std::string_view text, bool utf8) {
  text = upToZeroByte(text);
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = hexDigit(text, i + 1);
    const int low = hexDigit(text, i + 2);
    i += 2;
    const auto byte = static_cast<unsigned char>((high * 16 + low) & 0xFF);
    if (byte != 0) out += static_cast<char>(byte);
  }
  return utf8 ? utf8ToGbk(out) : out;
}

Text gbkToUtf8(std::string_view text) {
  return textFromBytes(convertCharset(upToZeroByte(text), "GBK", "UTF-8").value_or(Text{}));
}

Text utf8ToGbk(std::string_view text) {
  return textFromBytes(convertCharset(upToZeroByte(text), "UTF-8", "GBK").value_or(Text{}));
}

Bytes toWideCp(std::string_view text, int codePage) {
  text = upToZeroByte(text);
  Bytes units = convertCharset(text, codePageName(codePage).c_str(), "UTF-16LE").value_or(Bytes{});
  // Sized by the GBK measure, as callers of the platform API allocate; never smaller than needed.
  const std::size_t size = std::max(units.size() + 2, (gbkCharacters(text) + 1) * 2);
  units.resize(size, '\0');
  return units;
}

Text fromWideCp(std::string_view buffer, int codePage) {
  return textFromBytes(
      convertCharset(upToZeroUnit(buffer), "UTF-16LE", codePageName(codePage).c_str()).value_or(Text{}));
}

Bytes toWide(std::string_view text, bool dropTerminator) {
  text = upToZeroByte(text);
  if (text.empty()) return {};
  Bytes units = convertCharset(text, "GBK", "UTF-16LE").value_or(Bytes{});
  if (!dropTerminator) units.append(2, '\0');
  return units;
}

Text fromWide(std::string_view buffer) { return fromWideCp(buffer, 936); }

}  // namespace mw::net
