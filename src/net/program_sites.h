#pragma once
// Where the program's sites come from: the file given with --sites, else MW_sites.ini in the
// program's settings folder (beside a portable copy, under $XDG_CONFIG_HOME for an installed one),
// else the embedded demo site, which the caller starts.
#include <optional>
#include <string>

#include "net/site_settings.h"

namespace mw::net {

struct ProgramSites {
  bool ok = false;
  // Neither option nor file: the caller runs the embedded demo site and takes its settings.
  bool embedded = false;
  SiteSettings settings{};  // when ok and read from a file
  std::string source{};     // the settings file read, or "embedded demo site"
  std::string error{};      // when !ok: what is wrong, naming the file and the key
};

// `sitesFile` is the file named on the command line, if any; `settingsFolder` is the folder of
// the program's settings as programPlaces() gives it (a program text, GBK).
ProgramSites programSites(const std::optional<std::string>& sitesFile, const std::string& settingsFolder);

}  // namespace mw::net
