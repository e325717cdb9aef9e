#pragma once
// Private-profile INI files: "[section]" lines and "key=value" lines. Section and key names
// compare without regard to ASCII case; values are byte strings, so GBK and UTF-8 files both
// work. Lines the reader does not understand (comments, blank lines) are kept on writing.
#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace mw::runtime {

class IniFile {
 public:
  IniFile() = default;
  explicit IniFile(std::string_view content);

  // The file's content, or nullopt when it cannot be read (a missing file among them).
  static std::optional<IniFile> load(std::string_view path);

  // The value of the key in the first section of that name, trimmed of blanks and of one
  // pair of enclosing quotes; nullopt when the section or key is absent.
  std::optional<Text> value(std::string_view section, std::string_view key) const;
  // The key names of the first section of that name, in file order.
  TextArray keys(std::string_view section) const;

  // Sets the key, adding the section and key where missing. Names and values that would
  // break the line structure (line breaks; "]" in a section, "=" in a key, an empty name)
  // are refused with false.
  bool setValue(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of the key in the first section of that name; the section stays.
  void removeKey(std::string_view section, std::string_view key);

  Text content() const;
  bool save(std::string_view path) const;

 private:
  struct Span {
    std::size_t header;  // the "[name]" line
    std::size_t end;     // one past the section's last line
  };
  // Where the first section of that name lies, if there is one.
  std::optional<Span> findSection(std::string_view section) const;

  TextArray lines_;
  Text bom_;
  Text newline_ = "\n";
  bool finalNewline_ = true;
};

// Reads one value; `fallback` when the file, section or key is missing.
Text readIni(std::string_view path, std::string_view section, std::string_view key,
             std::string_view fallback = {});

// Writes one value, creating the file when it is missing; the file is replaced atomically.
bool writeIni(std::string_view path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace mw::runtime
