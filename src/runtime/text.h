#pragma once
// runtime: what every other folder stands on (text, numbers, files, INI, places, the event pump); no Qt.
// The program's text model: GBK bytes in std::string, 1-based positions, -1 when absent.
#include <string>
#include <string_view>
#include <vector>

namespace mw::runtime {

using Text = std::string;  // GBK bytes
using TextArray = std::vector<std::string>;
using Bytes = std::string;  // raw bytes: bodies, pictures, UTF-16 buffers

// Source files are UTF-8; every Chinese literal goes through one of these to become GBK.
Text gbk(std::string_view utf8);
Text utf8(std::string_view gbkText);
// utf8() for a text that may also hold a file name GBK cannot spell, kept as GB18030 (see
// pathText): GB18030 reads every GBK text as GBK does.
std::string utf8Wide(std::string_view text);

inline namespace literals {
// "表情"_gbk: the GBK bytes of a UTF-8 source literal.
inline Text operator""_gbk(const char* s, std::size_t n) { return gbk(std::string_view(s, n)); }
}  // namespace literals

// True when the byte starts a double-byte character (its next byte belongs to it).
inline bool isLeadByte(unsigned char b) { return b >= 0x80; }

// Position (1-based) of the first occurrence of `what` at or after `from`, or -1.
// The scan moves a character at a time, so a match never begins inside a double-byte
// character; ignoreCase folds only ASCII letters that are characters of their own.
int findText(std::string_view text, std::string_view what, int from = 1, bool ignoreCase = false);

// Replaces every occurrence of `from` by `to` (case-sensitive, left to right).
Text replaceAll(std::string_view text, std::string_view from, std::string_view to);

// The pieces between separators, empty ones included, except the empty piece after a final
// separator. An empty text gives no piece.
TextArray splitText(std::string_view text, std::string_view separator);

// Removes ASCII spaces and ideographic spaces (0xA1 0xA1) at both ends.
Text trimBlanks(std::string_view text);
// The same as a view into `text`.
std::string_view trimmedBlanks(std::string_view text);

// The leading decimal number of a text, truncated toward zero; 0 when there is none.
long long toInteger(std::string_view text);
// The leading decimal number as a real; 0 when there is none.
double toReal(std::string_view text);

// Decimal digits of an integer.
Text fromInteger(long long value);

// Text taken from bytes ends at the first zero byte.
Text textFromBytes(std::string_view bytes);

}  // namespace mw::runtime

// The text vocabulary every folder speaks.
namespace mw {
using runtime::Bytes;
using runtime::Text;
using runtime::TextArray;
using namespace runtime::literals;
}  // namespace mw
