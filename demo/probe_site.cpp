#include <string>

#include "demo/demo_site.h"
#include "demo/sites.h"
#include "site/site_server.h"

namespace mw::demo {

void routeProbeSite(httplib::Server& s) {
  s.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>") +
                        kProbeMarker + "检测</title></head><body><p>" + kProbeMarker +
                        "：正常</p></body></html>\r\n",
                    kHtmlUtf8);
  });
}

}  // namespace mw::demo
