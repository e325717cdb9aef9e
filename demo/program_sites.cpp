#include "demo/program_sites.h"

#include <filesystem>
#include <memory>
#include <mutex>

#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "runtime/files.h"

namespace mw::demo {
using runtime::nativePath;
namespace {

std::mutex embeddedMutex;
std::unique_ptr<DemoSite>& embedded() {
  // The content first, so that at exit it outlives the site still serving from it.
  [[maybe_unused]] static const Catalog& content = demoCatalog();
  static std::unique_ptr<DemoSite> site;
  return site;
}

ProgramSites fromFile(const std::string& path) {
  ProgramSites result;
  net::SiteSettingsResult read = net::readSiteSettings(path);
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

ProgramSites programSites(const std::vector<std::string>& args, const std::string& programDir) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sites") {
      if (i + 1 >= args.size() || args[i + 1].empty())
        return {false, {}, {}, "--sites needs the name of a sites file"};
      return fromFile(args[i + 1]);
    }
    if (args[i].rfind("--sites=", 0) == 0) {
      const std::string path = args[i].substr(8);
      if (path.empty()) return {false, {}, {}, "--sites needs the name of a sites file"};
      return fromFile(path);
    }
  }
  const std::filesystem::path beside = std::filesystem::path(nativePath(programDir)) / "MW_sites.ini";
  std::error_code ec;
  if (std::filesystem::exists(beside, ec)) return fromFile(beside.string());

  const std::lock_guard lock(embeddedMutex);
  auto& site = embedded();
  if (!site) {
    auto started = std::make_unique<DemoSite>();
    std::string error;
    if (!started->start(&error)) return {false, {}, {}, "cannot start the embedded demo site: " + error};
    site = std::move(started);
  }
  return {true, site->settings(), "embedded demo site", {}};
}

void stopEmbeddedDemoSite() {
  const std::lock_guard lock(embeddedMutex);
  embedded().reset();
}

}  // namespace mw::demo
