#include <string>

#include "demo/sites.h"
#include "runtime/text.h"
#include "site/site_server.h"

namespace mw::demo {

void routeAnnouncementSite(httplib::Server& s, long long readCounterStart, std::atomic<long long>& visits) {
  s.Get("/forum/thread-2833224-1-1.html", [readCounterStart, &visits](const httplib::Request&,
                                                                      httplib::Response& res) {
    const long long readCount = readCounterStart + ++visits;
    res.set_content(
        runtime::gbk("<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                     "charset=gbk\" />\r\n<title>Memwick 表情助手发布帖 - 软件发布</title>\r\n</head>\r\n"
                     "<body>\r\n<div class=\"hm ptn\">\r\n<ul>\r\n<li>回复：86</li>\r\n<li>阅读：" +
                     std::to_string(readCount) +
                     "</li>\r\n</ul>\r\n</div>\r\n<div class=\"t_fsz\">Memwick "
                     "是一个斗图助手，欢迎下载使用。</div>\r\n</body>\r\n</html>\r\n"),
        "text/html; charset=gbk");
  });
}

}  // namespace mw::demo
