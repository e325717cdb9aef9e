#include "library/words.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include "runtime/charset.h"

namespace mw::library {
namespace {

std::vector<char32_t> codePoints(std::string_view text) {
  const QString folded = QString::fromUtf8(text.data(), qsizetype(text.size()))
                             .normalized(QString::NormalizationForm_KC)
                             .toCaseFolded();
  std::vector<char32_t> kept;
  for (const uint c : folded.toUcs4()) {
    if (QChar::isLetterOrNumber(char32_t(c))) kept.push_back(char32_t(c));
  }
  return kept;
}

std::string utf8(const char32_t* first, std::size_t count) {
  return QString::fromUcs4(first, qsizetype(count)).toStdString();
}

}  // namespace

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
