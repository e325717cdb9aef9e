#include "shell/chrome.h"

#include "forms/paging_bar.h"
#include "toolkit/desktop.h"
#include "toolkit/events.h"
#include "toolkit/wait_pump.h"

namespace mw::shell {
using runtime::fromInteger;
namespace {

using forms::hidePagingBar;
using forms::switchPagingState;

constexpr int kHomePage = 0;
constexpr int kEditPage = 1;
constexpr int kFavouritesPage = 2;
constexpr int kOnlinePage = 3;
constexpr int kLocalPage = 4;

bool inStripRows(int y) { return y >= 11 && y <= 34; }

}  // namespace

ChromePictures chromePictures(const forms::PictureSource& pictures) {
  return {pictures("skin_home.png"),        pictures("skin_edit.png"),
          pictures("skin_favourites.png"),  pictures("chrome_normal.png"),
          pictures("chrome_close_hot.png"), pictures("chrome_minimise_hot.png")};
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

void pressHome(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures) {
  const int page = form.选择夹1->currentPage();
  if (page == kEditPage || page == kOnlinePage || page == kLocalPage) {
    switchPagingState(form, state, "编辑页保存"_gbk);
    switchPagingState(form, state, "首页恢复"_gbk);
    state.lastEditPage = page == kEditPage     ? "编辑主页"_gbk
                         : page == kOnlinePage ? "网络编辑"_gbk
                                               : "本地编辑"_gbk;
  } else if (page == kFavouritesPage) {
    switchPagingState(form, state, "首页恢复"_gbk);
  }
  form.选择夹1->setCurrentPage(kHomePage);
  form.主窗口->setPicture(pictures.skinHome);
  form.显示页->setCaption(fromInteger(state.searchPage) + "/" + fromInteger(2LL * state.searchSitePageCount));
  form.标签_记录->setCaption(state.searchRecordCaption);
  // Overrides whatever was restored above.
  form.跳页_按钮->setDisabled(form.显示页->caption() == "0/0");
  hidePagingBar(form, 0);
}

void pressEdit(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures) {
  const int page = form.选择夹1->currentPage();
  if (page == kHomePage) {
    switchPagingState(form, state, "首页保存"_gbk);
    switchPagingState(form, state, "编辑页恢复"_gbk);
  } else if (page == kFavouritesPage) {
    switchPagingState(form, state, "编辑页恢复"_gbk);
  }
  // The latest-templates list is a single page: no jumping while it is the selected source.
  form.跳页_按钮->setDisabled(form.网络最新编辑->backgroundColour() == QColor(0xEC, 0xEC, 0xEC));
  int target = kEditPage;
  if (state.lastEditPage == "网络编辑"_gbk) target = kOnlinePage;
  if (state.lastEditPage == "本地编辑"_gbk) target = kLocalPage;
  form.选择夹1->setCurrentPage(target);
  form.主窗口->setPicture(pictures.skinEdit);
  form.显示页->setCaption(fromInteger(state.listPage) + "/" + fromInteger(state.listPageCount));
  form.标签_记录->setCaption(state.listRecordCaption);
  hidePagingBar(form, 0);
}

void pressFavourites(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures) {
  const int page = form.选择夹1->currentPage();
  if (page == kHomePage) {
    switchPagingState(form, state, "首页保存"_gbk);
  } else if (page == kEditPage) {
    switchPagingState(form, state, "编辑页保存"_gbk);
    state.lastEditPage = "编辑首页"_gbk;
  } else if (page == kOnlinePage) {
    state.lastEditPage = "网络编辑"_gbk;
  } else if (page == kLocalPage) {
    state.lastEditPage = "本地编辑"_gbk;
  }
  form.选择夹1->setCurrentPage(kFavouritesPage);
  form.主窗口->setPicture(pictures.skinFavourites);
  hidePagingBar(form, 1);
}

void stripMoved(forms::MainForm& form, const ChromePictures& pictures, int x, int y) {
  // Set on every move, changed or not; leaving the strip keeps the last look.
  switch (hoverZone(x, y)) {
    case StripZone::Close:
      form.窗口控制按钮->setPicture(pictures.stripCloseHot);
      break;
    case StripZone::Minimise:
      form.窗口控制按钮->setPicture(pictures.stripMinimiseHot);
      break;
    case StripZone::None:
      form.窗口控制按钮->setPicture(pictures.stripNormal);
      break;
  }
}

void stripPressed(forms::MainForm& form, const ChromePictures& pictures, int x, int y) {
  switch (pressZone(x, y)) {
    case StripZone::Close:
      form.主窗口->destroyWindow();
      break;
    case StripZone::Minimise:
      form.主窗口->minimise();
      // Otherwise the minimise-hot look would greet the restored window.
      form.窗口控制按钮->setPicture(pictures.stripNormal);
      break;
    case StripZone::None:
      break;
  }
}

void bindChrome(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures) {
  using toolkit::events;
  using toolkit::Pointer;
  forms::MainForm* f = &form;
  forms::ProgramState* s = &state;
  const ChromePictures* p = &pictures;
  events(form.主页).leftDown = [f, s, p](const Pointer&) { pressHome(*f, *s, *p); };
  events(form.编辑).leftDown = [f, s, p](const Pointer&) { pressEdit(*f, *s, *p); };
  events(form.收藏).leftDown = [f, s, p](const Pointer&) { pressFavourites(*f, *s, *p); };
  events(form.窗口位置拖动).leftDown = [f](const Pointer&) { f->主窗口->startSystemDrag(); };
  events(form.窗口控制按钮).mouseMove = [f, p](const Pointer& at) { stripMoved(*f, *p, at.x, at.y); };
  events(form.窗口控制按钮).leftDown = [f, p](const Pointer& at) { stripPressed(*f, *p, at.x, at.y); };
  events(form.主窗口).leftDown = [f](const Pointer&) { f->主窗口->setFocus(Qt::MouseFocusReason); };
  events(form.标签_检查更新1).leftDown = [s](const Pointer&) {
    toolkit::desktop().openAddress(s->groupLink);
  };
  // Close, minimise and drag work while a load waits.
  toolkit::setLiveDuringWaits(form.窗口控制按钮);
  toolkit::setLiveDuringWaits(form.窗口位置拖动);
}

}  // namespace mw::shell
