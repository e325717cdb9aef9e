#include "runtime/markers.h"

#include "runtime/event_pump.h"

namespace mw::runtime {
namespace {

Text unquoteToken(std::string_view marker) {
  static const Text quoteToken = "#引号"_gbk;
  return replaceAll(marker, quoteToken, "\"");
}

}  // namespace

Text textBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 int startPos, bool ignoreCase) {
  const Text start = unquoteToken(startMarker);
  const Text end = unquoteToken(endMarker);
  int s = findText(text, start, startPos, ignoreCase);
  if (s == -1) return {};
  s += static_cast<int>(start.size());
  const int e = findText(text, end, s, ignoreCase);
  if (e == -1) return {};
  return Text(text.substr(static_cast<std::size_t>(s - 1), static_cast<std::size_t>(e - s)));
}

int textBetweenAll(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                   TextArray& out, bool caseSensitive, int maxLength, std::string_view prefix,
                   std::string_view suffix, bool includeStart, bool includeEnd, int startPos) {
  out.clear();
  const bool ignoreCase = !caseSensitive;
  const int startLength = static_cast<int>(startMarker.size());
  int pos = startPos;
  for (;;) {
    const int s = findText(text, startMarker, pos, ignoreCase);
    if (s == -1) break;
    const int contentStart = s + startLength;
    const int e = findText(text, endMarker, contentStart, ignoreCase);
    if (e == -1) break;

    const std::string_view m = trimmedBlanks(
        text.substr(static_cast<std::size_t>(contentStart - 1), static_cast<std::size_t>(e - contentStart)));
    pos = contentStart;
    if (!prefix.empty() || !m.empty() || !suffix.empty()) {
      Text piece;
      piece.reserve(startMarker.size() + prefix.size() + m.size() + suffix.size() + endMarker.size());
      if (includeStart) piece.append(startMarker);
      piece.append(prefix).append(m).append(suffix);
      if (includeEnd) piece.append(endMarker);
      if (maxLength == 0 || static_cast<long long>(piece.size()) < maxLength) out.push_back(std::move(piece));
      pos = e;
    }
    pumpEvents();
  }
  return static_cast<int>(out.size());
}

}  // namespace mw::runtime
