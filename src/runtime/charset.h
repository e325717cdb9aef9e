#pragma once
// Character-set conversion over iconv. Characters the target cannot hold become "?".
#include <optional>
#include <string>
#include <string_view>

namespace mw::runtime {

// Converts `input` from charset `from` to charset `to` (iconv names, e.g. "GBK", "UTF-8",
// "UTF-16LE"). Unconvertible input sequences and characters missing from the target each
// become one "?" (in the target's encoding), or with `strict` make the whole conversion fail.
// Returns nullopt when iconv does not know a name.
std::optional<std::string> convertCharset(std::string_view input, const char* from, const char* to,
                                          bool strict = false);

}  // namespace mw::runtime
