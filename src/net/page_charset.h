#pragma once
// The charset step of webRequest: a page that declares a charset other than GBK in its first
// 1024 bytes is decoded from that charset into GBK.
#include <string_view>

#include "runtime/text.h"

namespace mw::net {

// The charset named by the first <meta ... charset=...> in the first 1024 bytes of the page
// text, or empty text.
Text declaredCharset(std::string_view pageText);

// What encodingForLabel gives for the labels browsers refuse to decode.
inline constexpr const char* kReplacementEncoding = "replacement";

// The iconv name of the encoding a declared label stands for, as browsers resolve labels (the
// WHATWG Encoding Standard's table, any case, surrounding blanks ignored); null for a label
// that names no encoding.
const char* encodingForLabel(std::string_view label);

// The page as GBK text. "gbk" and "gb2312" (exactly so written) and no declaration at all
// mean the bytes are GBK already; a label naming no encoding leaves them as they are. A
// byte-order mark decides over the label and is dropped.
Text pageToGbk(const Bytes& body);

}  // namespace mw::net
