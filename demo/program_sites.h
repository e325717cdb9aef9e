#pragma once
// Where the program's sites come from: the file of "--sites FILE", else MW_sites.ini beside the
// program, else the embedded demo site started on loopback (kept until the program ends).
#include <string>
#include <vector>

#include "net/site_settings.h"

namespace mw::demo {

struct ProgramSites {
  bool ok = false;
  net::SiteSettings settings;
  std::string source;  // the settings file read, or "embedded demo site"
  std::string error;   // when !ok: what is wrong, naming the file and the key
};

// `args` are the command-line arguments after the program name; `programDir` is the folder of
// the executable as programDirectory() gives it (a program text, GBK). Call once, before the main window is
// created (the demo site's make page renders with the application's fonts).
ProgramSites programSites(const std::vector<std::string>& args, const std::string& programDir);

// Stops the embedded demo site if one was started. Call it before the application object goes
// away (the site renders with its fonts); otherwise it stops at exit.
void stopEmbeddedDemoSite();

}  // namespace mw::demo
