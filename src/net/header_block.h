#pragma once
// Reading the raw response header block that both request engines return to their callers.
// Kept apart from the transfer code so each piece can be fed arbitrary input.
#include <string_view>

#include "runtime/text.h"

namespace mw::net {

// The status code and reason phrase: the text from the tenth character of the block up to
// the first CRLF at or after it ("HTTP/1.1 302 Found\r\n..." gives "302 Found").
Text statusFromHeaders(std::string_view headers);

// Every "Set-Cookie", in any case, rewritten as "Set-Cookie".
Text normaliseCookieHeaderNames(std::string_view headers);

// The name=value part of every Set-Cookie line, joined by "; ". Expects a block whose cookie
// header names are already normalised. When `location` is given it receives the value of the
// last "Location: " line (left alone when there is none).
Text cookiesFromHeaders(std::string_view headers, Text* location = nullptr);

}  // namespace mw::net
