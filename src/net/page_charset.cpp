#include "net/page_charset.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "net/regex_object.h"
#include "runtime/charset.h"
#include "runtime/event_pump.h"

namespace mw::net {
using runtime::convertCharset;
using runtime::pumpEvents;
using runtime::textFromBytes;
namespace {

struct LabelGroup {
  const char* encoding;     // iconv name
  std::string_view labels;  // separated by single blanks
};

// The label table of the WHATWG Encoding Standard. A meta tag read by an HTML parser cannot
// declare UTF-16 (a page in it would show no readable tag) nor x-user-defined: those labels
// stand for UTF-8 and windows-1252 here, as browsers take them.
constexpr LabelGroup kLabelTable[] = {
    {"UTF-8", "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {"IBM866", "866 cp866 csibm866 ibm866"},
    {"ISO-8859-2",
     "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {"ISO-8859-3",
     "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {"ISO-8859-4",
     "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {"ISO-8859-5",
     "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988"},
    {"ISO-8859-6",
     "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e iso-8859-6-i "
     "iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    {"ISO-8859-7",
     "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso88597 iso_8859-7 "
     "iso_8859-7:1987 sun_eu_greek"},
    {"ISO-8859-8",
     "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 iso88598 iso_8859-8 "
     "iso_8859-8:1988 visual csiso88598i iso-8859-8-i logical"},
    {"ISO-8859-10", "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {"ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {"ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    {"ISO-8859-15", "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {"ISO-8859-16", "iso-8859-16"},
    {"KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    {"KOI8-U", "koi8-ru koi8-u"},
    {"MACINTOSH", "csmacintosh mac macintosh x-mac-roman"},
    {"CP874", "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {"CP1250", "cp1250 windows-1250 x-cp1250"},
    {"CP1251", "cp1251 windows-1251 x-cp1251"},
    {"CP1252",
     "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 iso88591 "
     "iso_8859-1 "
     "iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252 x-user-defined"},
    {"CP1253", "cp1253 windows-1253 x-cp1253"},
    {"CP1254",
     "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 latin5 "
     "windows-1254 x-cp1254"},
    {"CP1255", "cp1255 windows-1255 x-cp1255"},
    {"CP1256", "cp1256 windows-1256 x-cp1256"},
    {"CP1257", "cp1257 windows-1257 x-cp1257"},
    {"CP1258", "cp1258 windows-1258 x-cp1258"},
    {"MAC-UK", "x-mac-cyrillic x-mac-ukrainian"},
    {"GBK", "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk"},
    {"GB18030", "gb18030"},
    {"BIG5-HKSCS", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {"ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    {"CP932", "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {"CP949",
     "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 ksc_5601 "
     "windows-949"},
    {kReplacementEncoding, "csiso2022kr hz-gb-2312 iso-2022-cn iso-2022-cn-ext iso-2022-kr replacement"},
    {"UTF-8", "unicodefffe utf-16be csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
};

bool sameLabel(std::string_view tableLabel, std::string_view label) {
  if (tableLabel.size() != label.size()) return false;
  for (std::size_t i = 0; i < label.size(); ++i) {
    char c = label[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != tableLabel[i]) return false;
  }
  return true;
}

// The body in GBK, decoded as a browser decodes it with `label`: a byte-order mark decides
// over the label and is no part of the text. Nothing when the label names no encoding.
std::optional<std::string> decodeToGbk(std::string_view body, std::string_view label) {
  const char* encoding = encodingForLabel(label);
  for (auto [mark, name] : {std::pair<std::string_view, const char*>{"\xEF\xBB\xBF", "UTF-8"},
                            {"\xFE\xFF", "UTF-16BE"},
                            {"\xFF\xFE", "UTF-16LE"}}) {
    if (body.starts_with(mark)) {
      encoding = name;
      body.remove_prefix(mark.size());
      break;
    }
  }
  if (!encoding) return std::nullopt;
  // Browsers refuse these encodings: the whole page reads as one replacement character.
  if (std::strcmp(encoding, kReplacementEncoding) == 0) return body.empty() ? "" : "?";
  return convertCharset(body, encoding, "GBK");
}

}  // namespace

const char* encodingForLabel(std::string_view label) {
  while (!label.empty() && std::strchr("\t\n\f\r ", label.front())) label.remove_prefix(1);
  while (!label.empty() && std::strchr("\t\n\f\r ", label.back())) label.remove_suffix(1);
  for (const LabelGroup& group : kLabelTable) {
    for (std::size_t at = 0; at < group.labels.size();) {
      const std::size_t end = std::min(group.labels.find(' ', at), group.labels.size());
      if (sameLabel(group.labels.substr(at, end - at), label)) return group.encoding;
      at = end + 1;
    }
  }
  return nullptr;
}

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
    if (auto converted = decodeToGbk(body, charset)) page = textFromBytes(*converted);
  }
  pumpEvents();
  return page;
}

}  // namespace mw::net
