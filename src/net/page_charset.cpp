#include "net/page_charset.h"

#include "net/regex_object.h"
#include "runtime/charset.h"
#include "runtime/event_pump.h"

namespace mw::net {
using runtime::convertCharset;
using runtime::pumpEvents;
using runtime::textFromBytes;

Text declaredCharset(std::string_view pageText) {
  RegexObject regex;
  Text head(pageText.substr(0, 1024));
  if (!regex.create(R"(<meta.+?charset=[^\w]?([-\w]+))", head)) return {};
  return regex.submatchText(1, 1);
}

Text pageToGbk(const Bytes& body) {
  Text page = textFromBytes(body);
  Text charset = declaredCharset(page);
  if (charset.empty()) return page;
  if (charset != "gbk" && charset != "gb2312") {
    // The whole body is decoded, not just the text before a zero byte; the result again
    // ends at its first zero character.
    if (auto converted = convertCharset(body, charset.c_str(), "GBK")) page = textFromBytes(*converted);
  }
  pumpEvents();
  return page;
}

}  // namespace mw::net
