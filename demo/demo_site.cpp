#include "demo/demo_site.h"

#include <httplib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "demo/content_catalog.h"
#include "demo/sites.h"
#include "net/listen_backlog.h"
#include "site/picture_uploads.h"
#include "site/site_server.h"

namespace mw::demo {

struct DemoSite::Impl {
  DemoOptions options;
  ServingRules rules;
  std::atomic<long long> visits{0};
  const Catalog& catalog = demoCatalog();
  // Before the servers: it outlives them.
  std::unique_ptr<WorkerPool> pool;
  std::array<std::unique_ptr<SiteServer>, kSiteCount> servers;
  std::array<std::thread, kSiteCount> threads;
  std::array<int, kSiteCount> ports{};
  std::array<std::atomic<bool>, kSiteCount> listenEnded{};
  bool started = false;

  explicit Impl(DemoOptions o) : options(std::move(o)) {
    rules.latencyMs = options.latencyMs;
    rules.failureRate = options.failureRate;
    rules.checkHost = options.checkHost;
    rules.failureRandom.seed(options.failureSeed);
  }

  httplib::Server& server(Site site) { return *servers[static_cast<int>(site)]; }

  void route() {
    routeTemplateSite(server(Site::Template), catalog);
    routeSearchSite(server(Site::Search), catalog,
                    "http://" + net::joinHostPort(options.bindAddress, ports[static_cast<int>(Site::Search)]),
                    options.library, options.collection);
    if (site::PictureUploads* uploads = options.uploads) {
      SiteServer& search = *servers[static_cast<int>(Site::Search)];
      search.set_payload_max_length(uploads->options().maxBytes);
      search.setBodyLimit(uploads->options().uploadTimeout);
      search.setReadAhead(uploads->options().maxBytes,
                          [uploads](std::string_view header) { return uploads->readsAhead(header); });
      uploads->route(
          search, "http://" + net::joinHostPort(options.bindAddress, ports[static_cast<int>(Site::Search)]));
    }
    routeHomeSite(server(Site::Home), options.newestVersion);
    routeAnnouncementSite(server(Site::Announcement), options.readCounterStart, visits);
    routeProbeSite(server(Site::Probe));
    routeShareSite(server(Site::Share));
    routeGroupSite(server(Site::Group));
  }
};

DemoSite::DemoSite(DemoOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

DemoSite::~DemoSite() { stop(); }

bool DemoSite::start(std::string* error) {
  Impl& d = *impl_;
  auto fail = [&](const std::string& message) {
    stop();
    if (error) *error = message;
    return false;
  };
  if (d.started) return true;
  if (!d.catalog.error.empty()) return fail(d.catalog.error);
  if (d.options.basePort < 0 || d.options.basePort > 65535 - kSiteCount)
    return fail("base port must be 0 or 1 to " + std::to_string(65535 - kSiteCount));
  if (d.options.workerThreads < 1) return fail("the sites need at least one worker thread");
  d.pool = std::make_unique<WorkerPool>(static_cast<std::size_t>(d.options.workerThreads));
  for (int i = 0; i < kSiteCount; ++i) {
    d.servers[i] = std::make_unique<SiteServer>(*d.pool, d.rules);
    httplib::Server& server = *d.servers[i];
    if (d.options.basePort == 0) {
      d.ports[i] = server.bind_to_any_port(d.options.bindAddress);
    } else {
      d.ports[i] = d.options.basePort + i;
      if (!server.bind_to_port(d.options.bindAddress, d.ports[i])) d.ports[i] = -1;
    }
    if (d.ports[i] <= 0) {
      const std::string where =
          d.options.basePort == 0 ? "a free port" : "port " + std::to_string(d.options.basePort + i);
      return fail("cannot listen on " + d.options.bindAddress + " (" + where + ")");
    }
  }
  d.route();
  for (int i = 0; i < kSiteCount; ++i) {
    httplib::Server& server = *d.servers[i];
    net::widenListenBacklog(d.ports[i]);
    d.listenEnded[i] = false;
    d.threads[i] = std::thread([&server, &ended = d.listenEnded[i]] {
      server.listen_after_bind();
      ended = true;
    });
    // Stopping a server before its loop runs would leave the loop running: wait for it.
    while (!server.is_running() && !d.listenEnded[i])
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (d.listenEnded[i])
      return fail("cannot serve on " + d.options.bindAddress + ":" + std::to_string(d.ports[i]));
  }
  d.started = true;
  return true;
}

void DemoSite::stop() {
  Impl& d = *impl_;
  for (int i = 0; i < kSiteCount; ++i) {
    if (d.servers[i]) d.servers[i]->stopServing();
    if (d.threads[i].joinable()) d.threads[i].join();
    d.servers[i].reset();
  }
  d.pool.reset();
  d.started = false;
}

bool DemoSite::running() const { return impl_->started; }

int DemoSite::port(Site site) const { return impl_->ports[static_cast<int>(site)]; }

net::SiteSettings DemoSite::settings() const {
  auto host = [this](Site site) { return net::joinHostPort(impl_->options.bindAddress, port(site)); };
  net::SiteSettings s;
  s.templateHost = host(Site::Template);
  s.searchHost = host(Site::Search);
  s.homeHost = host(Site::Home);
  s.announcementHost = host(Site::Announcement);
  s.probeHost = host(Site::Probe);
  s.shareHost = host(Site::Share);
  s.groupHost = host(Site::Group);
  s.probeMarker = kProbeMarker;
  return s;
}

net::ProgramSites startAsProgramSites(DemoSite& site) {
  std::string error;
  if (!site.start(&error)) return {.error = "cannot start the embedded demo site: " + error};
  return {.ok = true, .embedded = true, .settings = site.settings(), .source = "embedded demo site"};
}

long long DemoSite::announcementVisits() const { return impl_->visits; }

long long DemoSite::requestCount() const { return impl_->rules.requests; }

}  // namespace mw::demo
