#pragma once
// The words a picture is found by, and the query that finds them. Text is matched after NFKC
// (full-width and half-width alike), with case folded, Traditional Chinese characters folded to
// Simplified and everything but letters and digits dropped, on both sides: 謝謝 finds 谢谢. A text is indexed
// as its overlapping two-character pieces, so that any keyword of two or more characters is a phrase of
// consecutive pieces and one character is a prefix of a piece. Texts are UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace mw::library {

// The form both a picture's text and a keyword are compared in.
std::string normalizedWords(std::string_view text);

// Each character of a UTF-8 text in Simplified Chinese where it has a Simplified form, one for
// one (OpenCC's t2s characters; no phrases, which could change the length): 後來 gives 后来.
std::string simplifiedText(std::string_view text);

// The pieces of each text, in order, for the index. "我太难了" gives "我太 太难 难了 了": the
// last character stands alone, so that no piece, and no phrase of pieces, spans two texts.
std::vector<std::string> pieceList(const std::vector<std::string>& texts);
// The same, space separated.
std::string wordPieces(const std::vector<std::string>& texts);

// The pieces a keyword is the phrase of, in order; a keyword of one character gives that
// character alone, which finds the pieces it begins. Empty when the keyword holds no letter or
// digit.
std::vector<std::string> keywordPieces(std::string_view keyword);

// A file or folder name (the file system's bytes) as UTF-8 text: as it is when it is UTF-8, else
// read as GBK, then as GB18030, as names from Windows archives unpack; with replacement
// characters only where none of them fits.
std::string nameText(std::string_view name);

// The full-text query that finds `keyword` as a substring of an indexed text; empty when the
// keyword holds no letter or digit.
std::string pieceQuery(std::string_view keyword);

}  // namespace mw::library
