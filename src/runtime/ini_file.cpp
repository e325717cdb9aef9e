#include "runtime/ini_file.h"

#include "runtime/files.h"

namespace mw::runtime {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Equal apart from the case of ASCII letters that are characters of their own.
bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && findText(a, b, 1, true) == 1;
}

// The section named by a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> sectionOf(std::string_view line) {
  line = trimmed(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trimmed(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> keyOf(std::string_view line) {
  const std::string_view t = trimmed(line);
  if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{trimmed(t.substr(0, eq)), trimmed(t.substr(eq + 1))};
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A value that reading would alter (blanks at an end, enclosing quotes) is written quoted.
Text encodedValue(std::string_view value) {
  if (value.empty()) return {};
  const bool blankEnd =
      value.front() == ' ' || value.front() == '\t' || value.back() == ' ' || value.back() == '\t';
  const bool quoted = value.size() >= 2 && isQuote(value.front()) && value.front() == value.back();
  if (!blankEnd && !quoted) return Text(value);
  Text out;
  out.reserve(value.size() + 2);
  out.append(1, '"').append(value).append(1, '"');
  return out;
}

}  // namespace

IniFile::IniFile(std::string_view content) {
  if (content.substr(0, kBom.size()) == kBom) {
    bom_ = kBom;
    content.remove_prefix(kBom.size());
  }
  if (content.find("\r\n") != std::string_view::npos) newline_ = "\r\n";
  finalNewline_ = content.empty() || content.back() == '\n';
  std::size_t start = 0;
  while (start < content.size()) {
    auto end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    start = end + 1;
  }
}

std::optional<IniFile> IniFile::load(std::string_view path) {
  auto bytes = readFile(path);
  if (!bytes) return std::nullopt;
  return IniFile(*bytes);
}

std::optional<IniFile::Span> IniFile::findSection(std::string_view section) const {
  section = trimmed(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto name = sectionOf(lines_[i]);
    if (!name || !sameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && !sectionOf(lines_[end])) ++end;
    return Span{i, end};
  }
  return std::nullopt;
}

std::optional<Text> IniFile::value(std::string_view section, std::string_view key) const {
  const auto span = findSection(section);
  if (!span) return std::nullopt;
  key = trimmed(key);
  for (std::size_t i = span->header + 1; i < span->end; ++i) {
    if (auto kv = keyOf(lines_[i]); kv && sameName(kv->key, key)) {
      std::string_view v = kv->value;
      if (v.size() >= 2 && isQuote(v.front()) && v.front() == v.back()) v = v.substr(1, v.size() - 2);
      return Text(v);
    }
  }
  return std::nullopt;
}

TextArray IniFile::keys(std::string_view section) const {
  TextArray out;
  if (const auto span = findSection(section)) {
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
      if (auto kv = keyOf(lines_[i])) out.emplace_back(kv->key);
    }
  }
  return out;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
  section = trimmed(section);
  key = trimmed(key);
  if (section.empty() || key.empty() || hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';' || key.front() == '#') {
    return false;
  }
  const Text line = Text(key) + "=" + encodedValue(value);

  if (const auto span = findSection(section)) {
    // New keys go after the section's last non-blank line, before blank lines that part it
    // from the next section.
    std::size_t insertAt = span->header + 1;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
      if (auto kv = keyOf(lines_[i]); kv && sameName(kv->key, key)) {
        lines_[i] = line;
        return true;
      }
      if (!trimmed(lines_[i]).empty()) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
    return true;
  }
  if (!lines_.empty() && !trimmed(lines_.back()).empty()) lines_.emplace_back();
  Text header;
  header.reserve(section.size() + 2);
  header.append(1, '[').append(section).append(1, ']');
  lines_.push_back(std::move(header));
  lines_.push_back(line);
  finalNewline_ = true;
  return true;
}

void IniFile::removeKey(std::string_view section, std::string_view key) {
  const auto span = findSection(section);
  if (!span) return;
  key = trimmed(key);
  for (std::size_t i = span->end; i-- > span->header + 1;) {
    if (auto kv = keyOf(lines_[i]); kv && sameName(kv->key, key))
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

Text IniFile::content() const {
  Text out = bom_;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i];
    if (i + 1 < lines_.size() || finalNewline_) out += newline_;
  }
  return out;
}

bool IniFile::save(std::string_view path) const { return writeFile(path, content()); }

Text readIni(std::string_view path, std::string_view section, std::string_view key,
             std::string_view fallback) {
  if (auto file = IniFile::load(path)) {
    if (auto v = file->value(section, key)) return *v;
  }
  return Text(fallback);
}

bool writeIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value) {
  IniFile file;
  if (fileExists(path)) {
    auto loaded = IniFile::load(path);
    // An existing file that cannot be read must not be replaced by one holding a single key.
    if (!loaded) return false;
    file = std::move(*loaded);
  }
  return file.setValue(section, key, value) && file.save(path);
}

}  // namespace mw::runtime
