#define PCRE2_CODE_UNIT_WIDTH 8
#include "net/regex_object.h"

#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "runtime/charset.h"

namespace mw::net {
using runtime::replaceAll;
namespace {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};

// Budget of one match attempt, so that a runaway pattern fails instead of hanging the window.
constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 10'000;

constexpr char32_t kReplacement = 0xFFFD;

// Code points of every GBK character, built once: index 0 is the single byte 0x80, then lead
// bytes 0x81..0xFE with trail bytes 0x40..0xFF. Zero marks no character.
class GbkTable {
 public:
  GbkTable() : points_(1 + 126 * 192, 0) {
    auto decode = [](std::string_view bytes) -> char32_t {
      const auto units = runtime::convertCharset(bytes, "GBK", "UTF-32LE", /*strict=*/true);
      if (!units || units->size() != 4) return 0;
      const auto* u = reinterpret_cast<const unsigned char*>(units->data());
      return static_cast<char32_t>(u[0] | u[1] << 8 | u[2] << 16 | static_cast<uint32_t>(u[3]) << 24);
    };
    points_[0] = decode("\x80");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFF; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        points_[index(lead, trail)] = decode(std::string_view(pair, 2));
      }
    }
  }

  char32_t single(unsigned char b) const { return b == 0x80 ? points_[0] : 0; }
  char32_t pair(unsigned char lead, unsigned char trail) const {
    if (lead < 0x81 || lead > 0xFE || trail < 0x40) return 0;
    return points_[index(lead, trail)];
  }

 private:
  static std::size_t index(int lead, int trail) { return 1 + (lead - 0x81) * 192 + (trail - 0x40); }
  std::vector<char32_t> points_;
};

const GbkTable& gbkTable() {
  static const GbkTable table;
  return table;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The subject as UTF-8, with the GBK offset of every UTF-8 offset (one past the end too).
// A byte that starts no GBK character becomes U+FFFD, so bad input cannot break matching.
struct Utf8Subject {
  std::string text;
  std::vector<int> gbkOffset;
};

Utf8Subject toUtf8Subject(std::string_view gbkText) {
  const GbkTable& table = gbkTable();
  Utf8Subject s;
  s.text.reserve(gbkText.size() * 3 / 2 + 1);
  s.gbkOffset.reserve(gbkText.size() * 3 / 2 + 2);
  for (std::size_t i = 0; i < gbkText.size();) {
    const auto b = static_cast<unsigned char>(gbkText[i]);
    char32_t c = b;
    std::size_t width = 1;
    if (b >= 0x80) {
      if (i + 1 < gbkText.size() && (c = table.pair(b, static_cast<unsigned char>(gbkText[i + 1]))) != 0) {
        width = 2;
      } else {
        c = table.single(b);
        if (c == 0) c = kReplacement;
      }
    }
    const std::size_t before = s.text.size();
    appendUtf8(s.text, c);
    s.gbkOffset.insert(s.gbkOffset.end(), s.text.size() - before, static_cast<int>(i));
    i += width;
  }
  s.gbkOffset.push_back(static_cast<int>(gbkText.size()));
  return s;
}

using CodePtr = std::unique_ptr<pcre2_code, CodeDeleter>;

// Compiles the UTF-8 pattern into `code` (null for a pattern in error); false when not even a
// compile context could be had.
bool compilePattern(const std::string& utf8Pattern, bool caseSensitive, bool multiline, CodePtr& code) {
  std::unique_ptr<pcre2_compile_context, CompileContextDeleter> compileContext(
      pcre2_compile_context_create(nullptr));
  if (!compileContext) return false;
  pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
  // Script-engine semantics: \u escapes, unset back-references match empty, and without
  // multi-line "$" matches only at the very end.
  uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data()), utf8Pattern.size(), options,
                           &error, &errorOffset, compileContext.get()));
  return true;
}

// Appends the GBK start/end pairs of groups 0..`groups` of every match (only the first unless
// `global`) to `spans`; false when matching failed (out of memory or over its budget).
bool collectSpans(const pcre2_code* code, const Utf8Subject& s, bool global, int groups,
                  std::vector<int>& spans) {
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code, nullptr));
  std::unique_ptr<pcre2_match_context, MatchContextDeleter> context(pcre2_match_context_create(nullptr));
  if (!data || !context) return false;
  pcre2_set_match_limit(context.get(), kMatchLimit);
  pcre2_set_depth_limit(context.get(), kDepthLimit);

  const auto* subjectBytes = reinterpret_cast<PCRE2_SPTR>(s.text.data());
  const PCRE2_SIZE length = s.text.size();
  PCRE2_SIZE start = 0;
  uint32_t flags = 0;
  while (start <= length) {
    const int rc =
        pcre2_match(code, subjectBytes, length, start, flags | PCRE2_NO_UTF_CHECK, data.get(), context.get());
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (flags == 0) break;
      // No non-empty match here after an empty one: step over one character.
      flags = 0;
      ++start;
      while (start < length && (s.text[start] & 0xC0) == 0x80) ++start;
      continue;
    }
    if (rc < 0) return false;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    const uint32_t pairs = pcre2_get_ovector_count(data.get());
    for (int g = 0; g <= groups; ++g) {
      const bool set = static_cast<uint32_t>(g) < pairs &&
                       static_cast<uint32_t>(g) < static_cast<uint32_t>(rc) && ovector[2 * g] != PCRE2_UNSET;
      spans.push_back(set ? s.gbkOffset[ovector[2 * g]] : -1);
      spans.push_back(set ? s.gbkOffset[ovector[2 * g + 1]] : -1);
    }
    if (!global) break;
    // \K can put the reported start after the end; never move backwards.
    start = std::max(ovector[1], start);
    flags = ovector[0] == ovector[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
  }
  return true;
}

}  // namespace

struct RegexObject::Engine {
  Text pattern;
  CodePtr code;
};

bool RegexObject::create(std::string_view pattern, std::string_view subject, bool caseSensitive,
                         bool multiline, bool global, bool quoteToken) {
  engine_.reset();
  matches_.reset();
  subject_ = Text(subject);
  if (subject_.size() > static_cast<std::size_t>(INT32_MAX / 4)) subject_.clear();

  auto engine = std::make_shared<Engine>();
  static const Text token = "#引号"_gbk;
  engine->pattern = quoteToken ? replaceAll(pattern, token, "\"") : Text(pattern);
  // Converted like the subject: a byte that starts no GBK character becomes U+FFFD, never a
  // "?" that the engine would read as a quantifier.
  if (!compilePattern(toUtf8Subject(engine->pattern).text, caseSensitive, multiline, engine->code))
    return false;
  engine_ = engine;
  if (!engine->code) return false;

  auto matches = std::make_shared<Matches>();
  uint32_t captures = 0;
  pcre2_pattern_info(engine->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  matches->groups = static_cast<int>(captures);
  if (!collectSpans(engine->code.get(), toUtf8Subject(subject_), global, matches->groups, matches->spans))
    return false;
  matches_ = std::move(matches);
  return true;
}

Text RegexObject::pattern() const { return engine_ ? engine_->pattern : Text{}; }

int RegexObject::matchCount() const {
  if (!matches_) return 0;
  return static_cast<int>(matches_->spans.size() / (2 * static_cast<std::size_t>(matches_->groups + 1)));
}

int RegexObject::submatchCount() const { return matchCount() > 0 ? matches_->groups : 0; }

bool RegexObject::span(int index, int group, int& start, int& end) const {
  if (index < 0 || index >= matchCount() || group < 0 || group > matches_->groups) return false;
  const std::size_t at = (static_cast<std::size_t>(index) * (matches_->groups + 1) + group) * 2;
  start = matches_->spans[at];
  end = matches_->spans[at + 1];
  // \K may leave a match's end before its start; such a span reads as empty.
  if (end < start) end = start;
  return start >= 0;
}

Text RegexObject::matchText(int index, int* position) const {
  int start = 0, end = 0;
  const bool found = span(index - 1, 0, start, end);
  if (position) *position = found ? start : -2;
  return found ? subject_.substr(start, end - start) : Text{};
}

Text RegexObject::submatchText(int matchIndex, int submatchIndex, int* position) const {
  int start = 0, end = 0;
  const bool found = submatchIndex >= 1 && span(matchIndex - 1, submatchIndex, start, end);
  if (position) *position = found ? start : -2;
  return found ? subject_.substr(start, end - start) : Text{};
}

Text RegexObject::replace(std::string_view replacement) const {
  if (!matches_) return {};
  const int count = matchCount();
  const int groups = matches_->groups;
  Text out;
  int copied = 0;
  for (int m = 0; m < count; ++m) {
    int start = 0, end = 0;
    span(m, 0, start, end);
    if (start < copied) continue;
    out.append(subject_, copied, start - copied);
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char c = replacement[i];
      const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (c != '$' || next == '\0') {
        out += c;
      } else if (next == '$') {
        out += '$', ++i;
      } else if (next == '&') {
        out.append(subject_, start, end - start), ++i;
      } else if (next == '`') {
        out.append(subject_, 0, start), ++i;
      } else if (next == '\'') {
        out.append(subject_, end), ++i;
      } else if (next >= '0' && next <= '9') {
        // Two digits when they name a group, else one; "$0" and unknown groups stay literal.
        int group = next - '0';
        std::size_t used = 1;
        const char third = i + 2 < replacement.size() ? replacement[i + 2] : '\0';
        if (third >= '0' && third <= '9' && group * 10 + (third - '0') <= groups &&
            group * 10 + (third - '0') > 0) {
          group = group * 10 + (third - '0');
          used = 2;
        }
        if (group < 1 || group > groups) {
          out += c;
          continue;
        }
        int gs = 0, ge = 0;
        if (span(m, group, gs, ge)) out.append(subject_, gs, ge - gs);
        i += used;
      } else {
        out += c;
      }
    }
    copied = end;
  }
  out.append(subject_, copied);
  return out;
}

}  // namespace mw::net
