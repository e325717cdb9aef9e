#include "net/program_sites.h"

#include <filesystem>

#include "runtime/files.h"

namespace mw::net {
using runtime::nativePath;
namespace {

ProgramSites fromFile(const std::string& path) {
  ProgramSites result;
  SiteSettingsResult read = readSiteSettings(path);
  if (!read.settings) {
    result.error = read.error;
    return result;
  }
  result.ok = true;
  result.settings = *read.settings;
  result.source = path;
  return result;
}

}  // namespace

ProgramSites programSites(const std::vector<std::string>& args, const std::string& settingsFolder) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sites") {
      if (i + 1 >= args.size() || args[i + 1].empty())
        return {.error = "--sites needs the name of a sites file"};
      return fromFile(args[i + 1]);
    }
    if (args[i].rfind("--sites=", 0) == 0) {
      const std::string path = args[i].substr(8);
      if (path.empty()) return {.error = "--sites needs the name of a sites file"};
      return fromFile(path);
    }
  }
  const std::filesystem::path file = std::filesystem::path(nativePath(settingsFolder)) / "MW_sites.ini";
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return fromFile(file.string());
  return {.ok = true, .embedded = true, .source = "embedded demo site"};
}

}  // namespace mw::net
