#pragma once
// The pages of each demo site, one file per site.
#include <httplib.h>

#include <atomic>
#include <string>

#include "demo/content_catalog.h"

namespace mw::library {
class Library;
}
namespace mw::site {
class Collection;
}

namespace mw::demo {

// Lists, make forms and made pictures (UTF-8 pages).
void routeTemplateSite(httplib::Server& server, const Catalog& catalog);
// Keyword search, new pictures and the pictures (GBK pages); `address` ("http://host:port")
// is used in links when a request names no usable Host. A search finds the pictures of
// `library`, when given, then those of `collection`, before the demo content's, and the site
// serves the library's.
void routeSearchSite(httplib::Server& server, const Catalog& catalog, const std::string& address,
                     library::Library* library, site::Collection* collection);
// The fields the program reads at start-up, offering `newestVersion`.
void routeHomeSite(httplib::Server& server, const std::string& newestVersion);
// The announcement page with its read counter; each visit counts in `visits`.
void routeAnnouncementSite(httplib::Server& server, long long readCounterStart,
                           std::atomic<long long>& visits);
// The page the network check looks for its marker in.
void routeProbeSite(httplib::Server& server);
// The download share page and the group invitation.
void routeShareSite(httplib::Server& server);
void routeGroupSite(httplib::Server& server);

}  // namespace mw::demo
