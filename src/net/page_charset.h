#pragma once
// The charset step of webRequest: a page that declares a charset other than GBK in its first
// 1024 bytes is decoded from that charset into GBK.
#include <string_view>

#include "runtime/text.h"

namespace mw::net {

// The charset named by the first <meta ... charset=...> in the first 1024 bytes of the page
// text, or empty text.
Text declaredCharset(std::string_view pageText);

// The page as GBK text. "gbk" and "gb2312" (exactly so written) and no declaration at all
// mean the bytes are GBK already; a charset unknown to the converter leaves them as they are.
Text pageToGbk(const Bytes& body);

}  // namespace mw::net
