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

ProgramSites programSites(const std::optional<std::string>& sitesFile, const std::string& settingsFolder) {
  if (sitesFile) return fromFile(*sitesFile);
  const std::filesystem::path file = std::filesystem::path(nativePath(settingsFolder)) / "MW_sites.ini";
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return fromFile(file.string());
  return {.ok = true, .embedded = true, .source = "embedded demo site"};
}

}  // namespace mw::net
