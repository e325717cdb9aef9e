#pragma once
// A compiled regular expression run once over a subject, whose matches are then read back.
// The dialect is ECMAScript-like (PCRE2): \w, \d and \s are ASCII classes, "." stops at a
// line feed, \uHHHH names a character. Subjects and results are GBK; positions are 0-based
// byte offsets into the GBK subject. Every failed read gives an empty value.
#include <memory>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace mw::net {

class RegexObject {
 public:
  RegexObject() = default;

  // A new object sharing this one's compiled pattern and matches, with its own subject copy.
  RegexObject copy() const { return *this; }

  // Compiles `pattern` and collects its matches in `subject` (all of them with `global`,
  // else the first). With quoteToken every "#引号" in the pattern stands for a double quote.
  // False when the pattern cannot be compiled or the search fails outright (a runaway
  // pattern); finding nothing is still true.
  bool create(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool quoteToken = false);

  // The pattern of the last create, empty before one.
  Text pattern() const;

  // The subject with the matches replaced; the replacement may use $&, $`, $', $1..$99, $$.
  Text replace(std::string_view replacement) const;

  int matchCount() const;

  // The 1-based match's text; `position` receives its start, or -2 when there is none.
  Text matchText(int index, int* position = nullptr) const;

  // The submatch (both 1-based) of a match; a group that took no part gives empty text and
  // position -2.
  Text submatchText(int matchIndex, int submatchIndex, int* position = nullptr) const;

  // The number of capture groups, read through the first match (0 when nothing matched).
  int submatchCount() const;

 private:
  struct Engine;
  struct Matches {
    int groups = 0;          // capture groups of the pattern
    std::vector<int> spans;  // per match: (groups + 1) start/end pairs, -1 when unset
  };

  std::shared_ptr<const Engine> engine_;
  std::shared_ptr<const Matches> matches_;
  Text subject_;

  // Start and end (GBK offsets) of group `group` of match `index` (0-based), if set.
  bool span(int index, int group, int& start, int& end) const;
};

}  // namespace mw::net
