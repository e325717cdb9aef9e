#include "shell/autostart.h"

#include <unistd.h>

#include <cerrno>

#include "runtime/files.h"

namespace mw::shell {
namespace {

// An argument of an Exec line: quoted where it holds a character the line reserves, and the
// backslashes of that quoting doubled once more, since the value is a string too.
std::string execArgument(const std::string& argument) {
  if (argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string::npos) return argument;
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '\\') quoted += "\\\\\\";
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string autostartEntryFile(const std::string& configFolder) {
  return configFolder + "/autostart/" MW_APP_ID ".desktop";
}

std::string autostartEntry(const std::string& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Memwick\n"
         "Comment=Find, caption and copy reaction pictures for your chats\n"
         "Exec=" +
         execArgument(program) +
         "\n"
         "Icon=" MW_APP_ID
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool autostartOn(const std::string& configFolder) {
  return runtime::fileExists(runtime::pathText(autostartEntryFile(configFolder)));
}

bool setAutostart(const std::string& configFolder, const std::string& program, bool on) {
  const std::string file = autostartEntryFile(configFolder);
  if (!on) return ::unlink(file.c_str()) == 0 || errno == ENOENT;
  return runtime::createFolder(runtime::pathText(configFolder + "/autostart")) &&
         runtime::writeFile(runtime::pathText(file), autostartEntry(program));
}

}  // namespace mw::shell
