#include "shell/chrome.h"

#include <memory>

#include "forms/notices.h"
#include "forms/paging_bar.h"
#include "platform/wait_pump.h"

namespace mw::shell {
using runtime::fromInteger;
namespace {

using forms::Context;
using forms::hidePagingBar;
using forms::Page;
using forms::PagingCommand;
using forms::switchPagingState;
using toolkit::Event;
using toolkit::Input;

bool inStripRows(int y) { return y >= 11 && y <= 34; }

// The pages 编辑 leads to: the template list and its two sub-pages.
bool inEditArea(Page page) { return page == Page::Edit || page == Page::Online || page == Page::Local; }

// Enters a list view's page: its skin, its counters on the paging bar, and the bar shown.
void enterView(const Context& ctx, Page page, const Bytes& skin, const Text& counter, const Text& record) {
  auto& f = ctx.main;
  f.showPage(page);
  f.主窗口->setPicture(skin);
  f.显示页->setCaption(counter);
  f.标签_记录->setCaption(record);
  hidePagingBar(f, false);
}

}  // namespace

void pressHome(const Context& ctx, const ChromePictures& pictures) {
  auto& f = ctx.main;
  auto& paging = ctx.state.paging;
  const Page page = f.page();
  if (inEditArea(page)) {
    switchPagingState(f, paging, PagingCommand::SaveEdit);
    switchPagingState(f, paging, PagingCommand::RestoreHome);
    paging.lastEditPage = page;
  } else if (page == Page::Favourites) {
    switchPagingState(f, paging, PagingCommand::RestoreHome);
  }
  const auto& search = ctx.state.search;
  enterView(ctx, Page::Home, pictures.skinHome,
            fromInteger(search.searchPage) + "/" + fromInteger(2LL * search.searchSitePageCount),
            search.searchRecordCaption);
  // Nothing to jump to while the counter reads 0/0 (no search yet); overrides what was restored.
  f.跳页_按钮->setDisabled(search.searchPage == 0 && search.searchSitePageCount == 0);
}

void pressEdit(const Context& ctx, const ChromePictures& pictures) {
  auto& f = ctx.main;
  auto& paging = ctx.state.paging;
  const Page page = f.page();
  if (page == Page::Home) {
    switchPagingState(f, paging, PagingCommand::SaveHome);
    switchPagingState(f, paging, PagingCommand::RestoreEdit);
  } else if (page == Page::Favourites) {
    switchPagingState(f, paging, PagingCommand::RestoreEdit);
  }
  // No jumping unless the all-templates list is the source: the latest list, selected until
  // another is loaded, is a single site page.
  f.跳页_按钮->setDisabled(ctx.state.list.listMode != forms::ListMode::All);
  const Page target = inEditArea(paging.lastEditPage) ? paging.lastEditPage : Page::Edit;
  const auto& list = ctx.state.list;
  enterView(ctx, target, pictures.skinEdit,
            fromInteger(list.listPage) + "/" + fromInteger(list.listPageCount), list.listRecordCaption);
}

void pressFavourites(const Context& ctx, const ChromePictures& pictures) {
  auto& f = ctx.main;
  auto& paging = ctx.state.paging;
  const Page page = f.page();
  if (page == Page::Home) {
    switchPagingState(f, paging, PagingCommand::SaveHome);
  } else if (page == Page::Edit) {
    switchPagingState(f, paging, PagingCommand::SaveEdit);
  }
  if (inEditArea(page)) paging.lastEditPage = page;
  f.showPage(Page::Favourites);
  f.主窗口->setPicture(pictures.skinFavourites);
  hidePagingBar(f, true);
}

void stripMoved(const Context& ctx, const ChromePictures& pictures, const Input& in) {
  // Set on every move, changed or not; leaving the strip keeps the last look.
  auto* strip = ctx.main.窗口控制按钮;
  switch (hoverZone(in.at.x, in.at.y)) {
    case StripZone::Close:
      strip->setPicture(pictures.stripCloseHot);
      break;
    case StripZone::Minimise:
      strip->setPicture(pictures.stripMinimiseHot);
      break;
    case StripZone::None:
      strip->setPicture(pictures.stripNormal);
      break;
  }
}

void stripPressed(const Context& ctx, const ChromePictures& pictures, const Input& in) {
  switch (pressZone(in.at.x, in.at.y)) {
    case StripZone::Close:
      ctx.main.主窗口->destroyWindow();
      break;
    case StripZone::Minimise:
      ctx.main.主窗口->minimise();
      // Otherwise the minimise-hot look would greet the restored window.
      ctx.main.窗口控制按钮->setPicture(pictures.stripNormal);
      break;
    case StripZone::None:
      break;
  }
}

StripZone hoverZone(int x, int y) {
  if (!inStripRows(y)) return StripZone::None;
  if (x >= 56 && x <= 74) return StripZone::Close;
  if (x >= 7 && x <= 19) return StripZone::Minimise;
  return StripZone::None;
}

// The press zone of minimise starts at x 1, wider than its hover zone.
StripZone pressZone(int x, int y) {
  if (!inStripRows(y)) return StripZone::None;
  if (x >= 56 && x <= 74) return StripZone::Close;
  if (x >= 1 && x <= 19) return StripZone::Minimise;
  return StripZone::None;
}

void dragWindow(const Context& ctx, const Input& in) {
  ctx.main.主窗口->startSystemDrag(ctx.main.窗口位置拖动, QPoint(in.at.x, in.at.y));
}

void focusMainWindow(const Context& ctx) { ctx.main.主窗口->setFocus(Qt::MouseFocusReason); }

void openGroupLink(const Context& ctx) {
  if (!ctx.desktop.openAddress(ctx.state.update.groupLink)) forms::showCursorTip(ctx, kBrowserFailedTip);
}

ChromePictures chromePictures(const forms::PictureSource& source) {
  return {source("skin_home.png"),     source("skin_edit.png"),        source("skin_favourites.png"),
          source("chrome_normal.png"), source("chrome_close_hot.png"), source("chrome_minimise_hot.png")};
}

void bindChrome(forms::HandlerRegistry& registry, const forms::PictureSource& source) {
  const auto pictures = std::make_shared<const ChromePictures>(chromePictures(source));
  const auto with = [pictures](void (*handler)(const Context&, const ChromePictures&)) {
    return [pictures, handler](const Context& ctx) { handler(ctx, *pictures); };
  };
  const auto withInput = [pictures](void (*handler)(const Context&, const ChromePictures&, const Input&)) {
    return [pictures, handler](const Context& ctx, const Input& in) { handler(ctx, *pictures, in); };
  };
  const forms::MainForm& f = registry.context().main;
  registry.on(f.主页, Event::LeftDown, with(pressHome));
  registry.on(f.编辑, Event::LeftDown, with(pressEdit));
  registry.on(f.收藏, Event::LeftDown, with(pressFavourites));
  registry.on(f.窗口控制按钮, Event::MouseMove, withInput(stripMoved));
  registry.on(f.窗口控制按钮, Event::LeftDown, withInput(stripPressed));
  registry.on(f.窗口位置拖动, Event::LeftDown, dragWindow);
  registry.on(f.主窗口, Event::LeftDown, focusMainWindow);
  registry.on(f.标签_检查更新1, Event::LeftDown, openGroupLink);
  // Close, minimise and drag work while a load waits.
  platform::setLiveDuringWaits(f.窗口控制按钮);
  platform::setLiveDuringWaits(f.窗口位置拖动);
}

}  // namespace mw::shell
