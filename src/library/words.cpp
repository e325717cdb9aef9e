#include "library/words.h"

#include <opencc.h>

#include <QList>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "runtime/charset.h"

namespace mw::library {
namespace {

// The ideographs OpenCC's character table knows (CJK extension A, the unified block, the
// compatibility block and the supplementary ones).
constexpr std::pair<char32_t, char32_t> kIdeographs[] = {
    {0x3400, 0x9FFF}, {0xF900, 0xFAFF}, {0x20000, 0x2B81F}};

using FoldTable = std::vector<std::pair<char32_t, char32_t>>;  // sorted by the first

// Built once: every ideograph converted on its own line, in one call (a call per text would
// convert phrases, slowly and not one for one).
FoldTable buildFoldTable() {
  FoldTable table;
  const opencc_t converter = opencc_open(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP);
  if (converter == reinterpret_cast<opencc_t>(-1)) {
    std::fprintf(stderr, "memwick: no OpenCC t2s data (%s): Traditional and Simplified are told apart\n",
                 opencc_error());
    return table;
  }
  std::u32string all;
  for (const auto& [first, last] : kIdeographs) {
    for (char32_t c = first; c <= last; ++c) {
      all += c;
      all += U'\n';
    }
  }
  const std::string input = QString::fromUcs4(all.data(), qsizetype(all.size())).toStdString();
  char* converted = opencc_convert_utf8(converter, input.data(), input.size());
  opencc_close(converter);
  if (!converted) return table;
  const QList<uint> out = QString::fromUtf8(converted).toUcs4();
  opencc_convert_utf8_free(converted);
  std::size_t line = 0, from = 0;
  for (qsizetype i = 0; i < out.size(); ++i) {
    if (out[i] != U'\n') continue;
    if (line >= all.size() / 2) break;
    const char32_t c = all[2 * line];
    if (i - qsizetype(from) == 1 && out[qsizetype(from)] != c)
      table.push_back({c, char32_t(out[qsizetype(from)])});
    ++line;
    from = std::size_t(i) + 1;
  }
  return table;
}

char32_t simplified(char32_t c) {
  if (c < kIdeographs[0].first) return c;
  static const FoldTable table = buildFoldTable();
  const auto at =
      std::lower_bound(table.begin(), table.end(), c,
                       [](const std::pair<char32_t, char32_t>& e, char32_t k) { return e.first < k; });
  return at != table.end() && at->first == c ? at->second : c;
}

std::vector<char32_t> codePoints(std::string_view text) {
  const QString folded = QString::fromUtf8(text.data(), qsizetype(text.size()))
                             .normalized(QString::NormalizationForm_KC)
                             .toCaseFolded();
  std::vector<char32_t> kept;
  for (const uint c : folded.toUcs4()) {
    if (QChar::isLetterOrNumber(char32_t(c))) kept.push_back(simplified(char32_t(c)));
  }
  return kept;
}

std::string utf8(const char32_t* first, std::size_t count) {
  return QString::fromUcs4(first, qsizetype(count)).toStdString();
}

}  // namespace

std::string simplifiedText(std::string_view text) {
  std::u32string folded;
  for (const uint c : QString::fromUtf8(text.data(), qsizetype(text.size())).toUcs4())
    folded += simplified(char32_t(c));
  return QString::fromUcs4(folded.data(), qsizetype(folded.size())).toStdString();
}

std::string normalizedWords(std::string_view text) {
  const std::vector<char32_t> c = codePoints(text);
  return utf8(c.data(), c.size());
}

std::string nameText(std::string_view name) {
  QStringDecoder fromUtf8(QStringDecoder::Utf8);
  const QString text = fromUtf8(QByteArrayView(name.data(), qsizetype(name.size())));
  if (!fromUtf8.hasError()) return std::string(name);
  for (const char* charset : {"GBK", "GB18030"}) {
    if (std::optional<std::string> read = runtime::convertCharset(name, charset, "UTF-8", true)) return *read;
  }
  return text.toStdString();
}

std::vector<std::string> pieceList(const std::vector<std::string>& texts) {
  std::vector<std::string> out;
  for (const std::string& text : texts) {
    const std::vector<char32_t> c = codePoints(text);
    for (std::size_t i = 0; i < c.size(); ++i) out.push_back(utf8(&c[i], i + 1 < c.size() ? 2 : 1));
  }
  return out;
}

std::string wordPieces(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& piece : pieceList(texts)) {
    if (!out.empty()) out += ' ';
    out += piece;
  }
  return out;
}

std::vector<std::string> keywordPieces(std::string_view keyword) {
  const std::vector<char32_t> c = codePoints(keyword);
  if (c.size() == 1) return {utf8(c.data(), 1)};
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 1 < c.size(); ++i) out.push_back(utf8(&c[i], 2));
  return out;
}

std::string pieceQuery(std::string_view keyword) {
  const std::vector<std::string> pieces = keywordPieces(keyword);
  if (pieces.empty()) return {};
  // Only letters and digits are left, so nothing in the phrase needs quoting.
  std::string query(1, '"');
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) query += ' ';
    query += pieces[i];
  }
  query += '"';
  // One character is a prefix of the pieces it begins.
  if (pieces.size() == 1 && codePoints(pieces[0]).size() == 1) query += '*';
  return query;
}

}  // namespace mw::library
