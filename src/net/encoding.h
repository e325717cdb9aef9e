#pragma once
// Conversions between the program's GBK text, UTF-8, UTF-16LE buffers and percent-encoding.
// Code pages: 0 and 936 are GBK, 65001 is UTF-8. Characters a code page cannot hold become "?".
#include <string_view>

#include "runtime/text.h"

namespace mw::net {

// Percent-encodes every byte as %XX (upper-case hex); with keepSafe, "-", ".", digits and
// ASCII letters stay as they are. With utf8 the text is converted to UTF-8 first.
Text urlEncode(std::string_view text, bool keepSafe = false, bool utf8 = false);

// Decodes %XX sequences leniently (a non-hex digit counts as -2, a missing one as 0, a
// decoded zero byte is dropped). With utf8 the decoded bytes are read as UTF-8 into GBK.
Text urlDecode(std::string_view text, bool utf8 = false);

Text gbkToUtf8(std::string_view text);
Text utf8ToGbk(std::string_view text);

// The text in `codePage` as UTF-16LE, zero units after it; the buffer holds at least as many
// units as the text has GBK characters, plus one.
Bytes toWideCp(std::string_view text, int codePage = 65001);
// The UTF-16LE units up to the first zero unit, converted to `codePage`.
Text fromWideCp(std::string_view buffer, int codePage = 0);

// GBK text to UTF-16LE with a zero unit (dropped on request); empty text gives an empty buffer.
Bytes toWide(std::string_view text, bool dropTerminator = false);
// UTF-16LE units up to the first zero unit to GBK text.
Text fromWide(std::string_view buffer);

}  // namespace mw::net
