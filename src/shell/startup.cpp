#include "shell/startup.h"

#include <QColor>
#include <limits>
#include <optional>

#include "browse/new_pictures.h"
#include "browse/search.h"
#include "browse/template_list.h"
#include "forms/notices.h"
#include "forms/paging_bar.h"
#include "net/fetch_page.h"
#include "net/warm_up.h"
#include "net/web_request.h"
#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "runtime/markers.h"
#include "shell/update_window.h"
#include "toolkit/flat_look.h"

namespace mw::shell {
namespace {

using forms::Context;
using runtime::fromInteger;
using runtime::textBetween;
using toolkit::Event;

constexpr long long kUsageOffset = 19500;
constexpr int kFlatScheme = 2;

// What start-up took from the home site page.
struct HomeFields {
  Text version, notes, notice1, notice2, groupKey1, groupKey2;
};

HomeFields homeFields(const Text& page) {
  // 文本1 also matches the start of 文本10: the page carries 文本1 first.
  return {homeSiteField(page, "文本1"_gbk), homeSiteField(page, "文本2"_gbk),
          homeSiteField(page, "文本3"_gbk), homeSiteField(page, "文本4"_gbk),
          homeSiteField(page, "文本9"_gbk), homeSiteField(page, "文本10"_gbk)};
}

// Without the network only the local editor's source is offered.
void startOffline(const Context& ctx) {
  auto& f = ctx.main;
  f.showPage(forms::Page::Edit);
  f.网络所有编辑->hide();
  f.网络最新编辑->hide();
  f.首页->setDisabled(true);
  net::closeWarmSockets();
}

// The usage count, whenever the announcement comes (`counted` then), and the home site's
// fields, which this waits for.
void readHomeSite(const Context& ctx, net::Exchanges& exchanges, bool& counted) {
  auto& f = ctx.main;
  auto& update = ctx.state.update;
  // Its answer may come after this returns.
  exchanges.page(ctx.sites.announcementBase() + "/forum/thread-2833224-1-1.html",
                 [label = f.标签_使用次数, counted = &counted](Text page) {
                   label->setCaption(usageCount(page));
                   *counted = true;
                 });
  std::optional<Text> homePage;
  exchanges.page(ctx.sites.homeBase() + "/", [&](Text page) { homePage = std::move(page); });
  exchanges.wait([&] { return homePage.has_value(); });
  const HomeFields home = homeFields(*homePage);
  update.latestVersion = home.version;
  update.updateNotes = home.notes;
  update.groupLink = ctx.sites.groupBase() + "/wpa/qunwpa?idkey=" + home.groupKey1 + home.groupKey2;
  f.标签_广告1->setCaption("公告："_gbk + home.notice1 + home.notice2);
}

// Offers the newer version when there is one. True when the user took it: the update window
// is open then and the main window gone.
bool takeNewerVersion(const Context& ctx, net::Exchanges& exchanges, const bool& counted) {
  auto& f = ctx.main;
  if (!newerVersion(ownVersion(f.主窗口->title()), ctx.state.update.latestVersion)) return false;
  // The offer comes over a complete footer, as it always has.
  exchanges.wait([&] { return counted; });
  ctx.state.update.updateOffered = true;
  f.标签_更新->setTextColour(QColor(0x00, 0x00, 0xFF));
  f.标签_更新->setCaption("发现新版本"_gbk);
  f.标签_更新->setCursor(Qt::PointingHandCursor);
  if (ctx.desktop.messageBox(f.主窗口, kNewerVersionQuestion, {}, platform::MessageButtons::OkCancel) !=
      platform::MessageAnswer::Ok)
    return false;
  loadUpdateWindow(ctx);
  f.主窗口->destroyWindow();
  return true;
}

// The new pictures on 主页 and the latest list on 编辑, side by side, then the paging bar's
// states for both views.
void showPicturePages(const Context& ctx, net::Exchanges& exchanges) {
  auto& f = ctx.main;
  browse::requestNewPictures(ctx, exchanges);
  browse::selectLatestList(ctx);
  bool listShown = false;
  browse::requestLatestList(ctx, exchanges, [&](bool shown) { listShown = shown; });
  exchanges.wait();

  f.上一页->setDisabled(true);
  f.首页->setDisabled(true);
  f.下一页->setDisabled(true);
  forms::switchPagingState(f, ctx.state.paging, forms::PagingCommand::SaveHome);
  if (ctx.state.list.listPageCount > 1) f.下一页->setEnabled(true);
  if (!listShown) {
    browse::showNoMatches(ctx);
    return;
  }
  // The 编辑 page keeps its own buttons; the home page's go back to disabled.
  forms::switchPagingState(f, ctx.state.paging, forms::PagingCommand::SaveEdit);
  forms::switchPagingState(f, ctx.state.paging, forms::PagingCommand::RestoreHome);
}

// The steps online, up to the settings. False when the user took the newer version: nothing
// else runs then. Each request leaves as soon as what it depends on is in: both lists once the
// home page is (and no offer waits), each list's pictures once that list is, the usage count
// whenever the announcement comes. Boxes fill as their pictures arrive; what shows at the end,
// and when start-up returns, are as with one request after the other.
bool startOnline(const Context& ctx) {
  net::Exchanges exchanges;
  bool counted = false;
  readHomeSite(ctx, exchanges, counted);
  if (takeNewerVersion(ctx, exchanges, counted)) return false;
  showPicturePages(ctx, exchanges);
  return true;
}

// The favourites folder from MW_scdz.ini, the default written where the file has none; then
// the folder and its marker picture made when missing.
void readSettings(const Context& ctx, const Bytes& markerGif) {
  const Text file = ctx.places.settingsFile();
  const Text fallback = ctx.places.favouritesFolder;
  Text& folder = ctx.state.favourites.favouritesFolder;
  // The default in place of what the file held; the user hears when it could not be stored.
  const auto restoreDefault = [&] {
    folder = fallback;
    if (!runtime::storablePath(fallback))
      forms::showMessage(ctx, kUnstorableProgramFolderMessage);
    else if (!runtime::writeIni(file, "收藏"_gbk, "地址"_gbk, fallback))
      forms::showMessage(ctx, kDefaultNotWrittenMessage);
  };
  if (!runtime::fileExists(file)) {
    forms::showMessage(ctx, kSettingsMissingMessage);
    restoreDefault();
  } else {
    // A missing key (or a file that cannot be read) gives the default without writing it.
    const std::optional<runtime::IniFile> ini = runtime::IniFile::load(file);
    const std::optional<Text> stored = ini ? ini->value("收藏"_gbk, "地址"_gbk) : std::nullopt;
    if (!stored) {
      folder = fallback;
    } else if (stored->empty()) {
      restoreDefault();
    } else if (!runtime::storablePath(*stored)) {
      // Bytes that are no GBK name no folder the user chose.
      forms::showMessage(ctx, kSettingsMissingMessage);
      restoreDefault();
    } else {
      // Relative to the program (where the settings lie), not to wherever it was started from.
      folder = stored->front() == '/' ? *stored : ctx.places.settingsFolder + "/" + *stored;
    }
  }
  ctx.main.收藏目录地址显示->setCaption(folder);
  if (!runtime::fileExists(folder)) runtime::createFolder(folder);
  // Failures stay silent here: a folder that cannot be made leaves the marker unwritten.
  const Text marker = folder + "/请不要删除本文件.gif"_gbk;
  if (!runtime::fileExists(marker)) runtime::writeNewFile(marker, markerGif);
}

}  // namespace

void startUp(const Context& ctx, const Bytes& markerGif) {
  auto& f = ctx.main;
  toolkit::useFlatLook(kFlatScheme);
  forms::showCursorTip(ctx, kStartingTip);
  f.跳页_按钮->setDisabled(true);
  ctx.state.paging.lastEditPage = forms::Page::Edit;
  if (!checkNetwork(ctx)) {
    startOffline(ctx);
  } else {
    const bool carryOn = startOnline(ctx);
    // The pages are in: a connection opened ahead that none took is of no use any more.
    net::closeWarmSockets();
    if (!carryOn) return;
  }
  readSettings(ctx, markerGif);
}

bool checkNetwork(const Context& ctx) {
  const Text probe = probeAddress(ctx.sites);
  // The probe may have gone out at the program's start already (warmPath).
  std::optional<Bytes> early = net::takeEarlyPage(probe);
  const Bytes page = early ? std::move(*early) : net::fetchPage(probe);
  return !ctx.sites.probeMarker.empty() && page.find(ctx.sites.probeMarker) != Bytes::npos;
}

Text usageCount(const Text& announcementPage) {
  const long long counter = runtime::toInteger(textBetween(announcementPage, "<li>阅读："_gbk, "</li>"));
  long long count = 0;
  // toInteger saturates a counter too long for 64 bits; the sum does too, never wrapping.
  if (__builtin_add_overflow(counter, kUsageOffset, &count)) count = std::numeric_limits<long long>::max();
  return "历史使用次数："_gbk + fromInteger(count);
}

bool newerVersion(const Text& own, const Text& latest) { return own < latest; }

Text probeAddress(const net::SiteSettings& sites) { return sites.probeBase() + "/"; }

std::unique_ptr<net::PathWarmUp> warmPath(const net::SiteSettings& sites) {
  // The home page and the announcement take one connection each; each list takes one, and
  // its eight pictures reuse it and seven more.
  return std::make_unique<net::PathWarmUp>(
      std::vector<net::WarmTarget>{
          {sites.homeHost, 1}, {sites.announcementHost, 1}, {sites.searchHost, 8}, {sites.templateHost, 8}},
      probeAddress(sites));
}

void bindStartUp(forms::HandlerRegistry& registry, const forms::PictureSource& pictures) {
  const forms::MainForm& f = registry.context().main;
  // Before the window shows: the search starts on site page 1 with its placeholder.
  registry.on(f.主窗口, Event::Created, browse::prepareSearch);
  registry.on(f.主窗口, Event::FirstActivation,
              [markerGif = pictures("marker.gif")](const Context& ctx) { startUp(ctx, markerGif); });
}

}  // namespace mw::shell
