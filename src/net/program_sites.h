#pragma once
// Where the program's sites come from: the file of "--sites FILE", else MW_sites.ini beside the
// program, else the embedded demo site, which the caller starts.
#include <string>
#include <vector>

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

// `args` are the command-line arguments after the program name; `programDir` is the folder of
// the executable as programDirectory() gives it (a program text, GBK).
ProgramSites programSites(const std::vector<std::string>& args, const std::string& programDir);

}  // namespace mw::net
