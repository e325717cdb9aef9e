#include "net/header_block.h"

#include <cstddef>

#include "runtime/event_pump.h"
#include "runtime/markers.h"

namespace mw::net {
using runtime::findText;
using runtime::pumpEvents;
using runtime::splitText;
using runtime::textBetween;
using runtime::trimBlanks;
namespace {

constexpr std::string_view kSetCookie = "Set-Cookie";
constexpr std::string_view kCrlf = "\r\n";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Replaces each occurrence of `what` found without regard to case by `with`.
Text replaceIgnoringCase(std::string_view text, std::string_view what, std::string_view with) {
  Text out;
  int from = 1;
  for (int at; (at = findText(text, what, from, true)) != -1; from = at + int(what.size())) {
    out.append(text.substr(from - 1, at - from));
    out.append(with);
  }
  out.append(text.substr(from - 1));
  return out;
}

}  // namespace

Text statusFromHeaders(std::string_view headers) {
  if (headers.size() < 10) return {};
  int end = findText(headers, kCrlf, 10);
  std::size_t stop = end == -1 ? headers.size() : std::size_t(end - 1);
  return Text(headers.substr(9, stop - 9));
}

Text normaliseCookieHeaderNames(std::string_view headers) {
  return replaceIgnoringCase(headers, kSetCookie, kSetCookie);
}

Text cookiesFromHeaders(std::string_view headers, Text* location) {
  Text cookies;
  for (std::string_view line : splitText(headers, kCrlf)) {
    if (findText(line, kSetCookie) != -1) {
      Text cookie = findText(line, ";") != -1 ? trimBlanks(textBetween(line, "Set-Cookie:", ";"))
                                              : trimBlanks(replaceIgnoringCase(line, "Set-Cookie:", ""));
      cookies += cookie;
      cookies += "; ";
    }
    if (location && line.size() >= 10 && equalsIgnoringCase(line.substr(0, 10), "Location: "))
      *location = Text(line.substr(10));
    pumpEvents();
  }
  if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
  return cookies;
}

}  // namespace mw::net
