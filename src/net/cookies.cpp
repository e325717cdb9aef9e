#include "net/cookies.h"

#include <algorithm>
#include <unordered_set>

namespace mw::net {
using runtime::isLeadByte;
using runtime::splitText;
using runtime::trimBlanks;
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
  for (auto& piece : splitText(list, separator)) {
    if (!taken.insert(piece).second) continue;
    result.append(piece).append(separator);
  }
  result.resize(result.size() - std::min(result.size(), separator.size()));
  return result;
}

Text mergeCookies(Text& cookies, Text& newCookies) {
  cookies = withoutBlanks(cookies);
  newCookies = withoutBlanks(newCookies);

  TextArray merged = splitText(newCookies, ";");
  std::unordered_set<Text> names;
  for (const auto& item : merged) names.insert(cookieName(item));
  for (auto& item : splitText(cookies, ";")) {
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

}  // namespace mw::net
