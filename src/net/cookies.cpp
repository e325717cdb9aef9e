#include "net/cookies.h"

#include <algorithm>
#include <unordered_set>

namespace mw {
namespace {

// Drops ASCII and ideographic spaces, walking whole characters so that a trail byte 0xA1
// never pairs with the next character's lead byte. A space is never a trail byte.
Text withoutBlanks(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const bool lead = isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                      static_cast<unsigned char>(text[i + 1]) >= 0x40;
    if (lead) {
      if (!(text[i] == '\xA1' && text[i + 1] == '\xA1')) out.append(text.substr(i, 2));
      i += 2;
    } else {
      if (text[i] != ' ') out += text[i];
      ++i;
    }
  }
  return out;
}

// Pieces between separators; no trailing empty piece after a final separator.
TextArray split(std::string_view text, std::string_view separator) {
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

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

Text cookieName(std::string_view item) {
  const auto eq = item.find('=');
  return trimBlanks(eq == std::string_view::npos ? item : item.substr(0, eq));
}

Text dedupeList(std::string_view list, std::string_view separator) {
  std::unordered_set<Text> taken;
  Text result;
  for (auto& piece : split(list, separator)) {
    if (!taken.insert(piece).second) continue;
    result.append(piece).append(separator);
  }
  result.resize(result.size() - std::min(result.size(), separator.size()));
  return result;
}

Text mergeCookies(Text& cookies, Text& newCookies) {
  cookies = withoutBlanks(cookies);
  newCookies = withoutBlanks(newCookies);

  TextArray merged = split(newCookies, ";");
  std::unordered_set<Text> names;
  for (const auto& item : merged) names.insert(cookieName(item));
  for (auto& item : split(cookies, ";")) {
    if (names.insert(cookieName(item)).second) merged.push_back(std::move(item));
  }

  Text joined;
  for (const auto& item : merged) {
    if (!endsWith(item, "=deleted")) joined.append(item).append("; ");
  }
  joined.resize(joined.size() - std::min<std::size_t>(joined.size(), 2));
  cookies = dedupeList(joined, "; ");
  return cookies;
}

}  // namespace mw
