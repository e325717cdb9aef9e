#include <string>

#include "demo/demo_site.h"
#include "demo/sites.h"
#include "site/site_server.h"

namespace mw::demo {

void routeHomeSite(httplib::Server& s, const std::string& newestVersion) {
  s.Get("/", [newestVersion](const httplib::Request&, httplib::Response& res) {
    const std::string v = htmlEscape(newestVersion);
    std::string page =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=utf-8\" />\r\n<title>Memwick 表情助手</title>\r\n</head>\r\n<body>\r\n";
    // 文本1 must come before 文本10: the program's search for "文本1" also matches "文本10".
    page += "<p>最新版本：文本1" + v + "文本1</p>\r\n";
    page += "<p>更新说明：文本2" + v + "版：网络制作支持四行文字，收藏夹保存更稳定。文本2</p>\r\n";
    page += "<p>公告：文本3欢迎使用Memwick，文本3文本4本站为内置演示站点，图片均为程序绘制。文本4</p>\r\n";
    page += "<ul>\r\n<li>文本5修复：搜索翻页偶尔重复显示的问题。文本5</li>\r\n";
    page += "<li>文本6新增：本地制作可调整文字颜色。文本6</li>\r\n";
    page += "<li>文本7优化：启动时加载更快。文本7</li>\r\n";
    page += "<li>文本8感谢大家的支持！文本8</li>\r\n</ul>\r\n";
    page +=
        "<p>交流群：文本9" + std::string(kGroupKeyFirst) + "文本9文本10" + kGroupKeySecond + "文本10</p>\r\n";
    page += "<p>下载：百度网" + std::string(kShareId) + "百度址 提取码：百度密" + kSharePassword +
            "百度码</p>\r\n";
    page += "</body>\r\n</html>\r\n";
    res.set_content(page, kHtmlUtf8);
  });
}

}  // namespace mw::demo
