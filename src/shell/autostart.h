#pragma once
// Starting with the desktop: an XDG autostart entry for the program, in the user's
// configuration folder.
#include <string>

namespace mw::shell {

// configFolder + "/autostart/io.github.memwick.Memwick.desktop"
std::string autostartEntryFile(const std::string& configFolder);
// The entry that starts `program` (an absolute path) with the desktop.
std::string autostartEntry(const std::string& program);
bool autostartOn(const std::string& configFolder);
// Writes or removes the entry; false when that could not be done.
bool setAutostart(const std::string& configFolder, const std::string& program, bool on);

}  // namespace mw::shell
