#include <string>

#include "demo/sites.h"
#include "site/site_server.h"

namespace mw::demo {

void routeShareSite(httplib::Server& s) {
  s.Get(R"(/s/([A-Za-z0-9_-]{1,64}))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Memwick 安装包 - 分享</title></head>"
        "<body><h1>Memwick 安装包</h1><p>分享编号：" +
            req.matches[1].str() + "</p><p>请输入提取码：<input type=\"text\" /></p></body></html>\r\n",
        kHtmlUtf8);
  });
}

}  // namespace mw::demo
