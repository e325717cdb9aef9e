#pragma once
// The embedded demo site: real HTTP servers on loopback, one per site, answering every path the
// program requests with pages carrying the markers the program cuts. Used by the program when no
// sites file is given, by the standalone memwick-site, and by tests and benchmarks.
#include <memory>
#include <string>

#include "net/program_sites.h"
#include "net/site_settings.h"

namespace mw::library {
class Library;
}
namespace mw::site {
class Collection;
class PictureUploads;
}  // namespace mw::site

namespace mw::demo {

enum class Site { Template, Search, Home, Announcement, Probe, Share, Group };
inline constexpr int kSiteCount = 7;

struct DemoOptions {
  std::string bindAddress = "127.0.0.1";
  // 0: an ephemeral port per site; otherwise the sites listen on basePort .. basePort + 6 in the
  // order of Site.
  int basePort = 0;
  int latencyMs = 0;         // added to every response
  double failureRate = 0;    // share of responses answered "503 Service Unavailable", 0 to 1
  unsigned failureSeed = 1;  // makes the injected failures repeatable
  // Answer only requests naming the address served (or localhost:port on loopback): what the
  // user's own program and tools send, never a page of another site rebound to loopback.
  bool checkHost = false;
  std::string newestVersion = "1.3";
  long long readCounterStart = 1234;  // the announcement counter before the first visit
  // Worker threads serving all seven sites together (each site also has its listening thread,
  // and one thread watches the kept-alive connections between their requests).
  int workerThreads = 4;
  // The user's pictures, searched before the demo content; kept by the caller for as long as
  // the site runs.
  library::Library* library = nullptr;
  // A group's shared collection, searched after the library; kept by the caller likewise.
  site::Collection* collection = nullptr;
  // A shared collection's uploads, taken on the search site; kept by the caller likewise.
  site::PictureUploads* uploads = nullptr;
};

// The 12-byte UTF-8 phrase the demo probe page carries.
inline constexpr const char* kProbeMarker = "网络连通";
// Template-site list sizes: 37 list pages of 45 items; the latest list holds 95.
inline constexpr int kListPages = 37;
inline constexpr int kListPageItems = 45;
inline constexpr int kLatestItems = 95;
// Home-page fields, as served with the default options.
inline constexpr const char* kShareId = "1mWdEmO-k3xQ";
inline constexpr const char* kSharePassword = "mw13";
inline constexpr const char* kGroupKeyFirst = "3f9a2c7d5b";
inline constexpr const char* kGroupKeySecond = "81be4e0a6c";

class DemoSite {
 public:
  explicit DemoSite(DemoOptions options = {});
  ~DemoSite();
  DemoSite(const DemoSite&) = delete;
  DemoSite& operator=(const DemoSite&) = delete;

  // Binds every site and starts serving; false with `error` set when a port cannot be bound or
  // the built-in content is missing. Nothing is left listening after a failure.
  bool start(std::string* error = nullptr);
  // Stops every site and waits for its thread; safe to call more than once.
  void stop();
  bool running() const;

  int port(Site site) const;
  // The sites settings that point the program at this demo site.
  net::SiteSettings settings() const;

  // Visits of the announcement page so far, and all requests answered (failures included).
  long long announcementVisits() const;
  long long requestCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Starts `site` as the program's sites when no sites file is given. The owner keeps it for as
// long as the program runs (before the application object goes: the make page renders with
// its fonts); the sites stop when it goes.
net::ProgramSites startAsProgramSites(DemoSite& site);

// The template shown by template id `id` (ids beyond the drawn content reuse it in turn).
int templateIndexForId(int id, int templateCount);

}  // namespace mw::demo
