#include <string>

#include "demo/sites.h"
#include "site/site_server.h"

namespace mw::demo {

void routeGroupSite(httplib::Server& s) {
  s.Get("/wpa/qunwpa", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>加入群聊</title></head><body>"
        "<h1>Memwick 交流群</h1><p>邀请码：" +
            htmlEscape(req.get_param_value("idkey")) +
            "</p><p>在聊天程序中打开即可加入。</p></body></html>\r\n",
        kHtmlUtf8);
  });
}

}  // namespace mw::demo
