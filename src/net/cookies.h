#pragma once
// Cookie lists: "name=value" items joined by semicolons, as sent in a "Cookie: " header.
#include <string_view>

#include "runtime/text.h"

namespace mw::net {

// Folds the cookies of the latest response into the old list: new items first, then old
// items whose name is not taken (the first of each name), without "=deleted" items and
// exact repeats, joined by "; ". Both variables lose their blanks; the result is written
// into `cookies` and returned.
Text mergeCookies(Text& cookies, Text& newCookies);

// The text before the first "=" (the whole item without one), trimmed of blanks.
Text cookieName(std::string_view item);

// The list with exact repeats of its pieces removed, first occurrences kept in order.
Text dedupeList(std::string_view list, std::string_view separator);

}  // namespace mw::net
