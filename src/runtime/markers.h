#pragma once
// Cutting pages apart by literal start and end markers.
#include <string_view>

#include "runtime/text.h"

namespace mw::runtime {

// The text strictly between the first `startMarker` at or after `startPos` and the first
// `endMarker` after it; empty when either is missing. In both markers the token "#引号"
// (GBK) stands for a double quote.
Text textBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 int startPos = 1, bool ignoreCase = false);

// Collects every piece between the markers into `out` (emptied first) and returns its size.
// Each piece is trimmed of blanks and wrapped in prefix/suffix; an empty piece is skipped.
// After a kept piece the scan resumes at the end marker itself, so an end marker may begin
// the next match. With maxLength non-zero only pieces shorter than it are kept. Pending
// window events are pumped after every match.
int textBetweenAll(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                   TextArray& out, bool caseSensitive = false, int maxLength = 0,
                   std::string_view prefix = {}, std::string_view suffix = {}, bool includeStart = false,
                   bool includeEnd = false, int startPos = 1);

}  // namespace mw::runtime
