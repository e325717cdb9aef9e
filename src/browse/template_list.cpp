#include "browse/template_list.h"

#include <QColor>

#include "browse/picture_slots.h"
#include "forms/notices.h"
#include "net/encoding.h"
#include "net/web_request.h"
#include "platform/desktop.h"
#include "runtime/markers.h"
#include "toolkit/balloon_tip.h"
#include "toolkit/controls.h"

namespace mw::browse {
using net::urlDecode;
using net::webRequest;
using runtime::fromInteger;
using runtime::textBetween;
using runtime::textBetweenAll;
namespace {

const char* const kItemStart = "<li><a href";
const char* const kItemEnd = "<div class=\"title\"><span>";

void drawViewLabels(const forms::Context& ctx, toolkit::Label* selected) {
  for (toolkit::Label* label : {ctx.main.网络最新编辑, ctx.main.网络所有编辑, ctx.main.本地保存编辑}) {
    const bool on = label == selected;
    label->setBorder(on ? toolkit::Border::Single : toolkit::Border::None);
    label->setBackgroundColour(on ? QColor(0xEC, 0xEC, 0xEC) : QColor(0xFF, 0xFF, 0xFF));
  }
}

void showBusyTip(const forms::Context& ctx) { forms::showCursorTip(ctx, kBusyTip); }

void setRecordCaption(const forms::Context& ctx, const Text& caption) {
  ctx.main.标签_记录->setCaption(caption);
  ctx.state.list.listRecordCaption = caption;
}

}  // namespace

Text allListBlockStart() { return "<ul class=\"link-list\">"; }
Text allListBlockEnd() { return "<div class=\"bean-page\">"; }
Text latestListBlockStart() { return " <div class=\"link-block thumbnail\">"; }
Text latestListBlockEnd() { return "<div class=\"g-bottombar-ad-block\">"; }

TextArray listPageItems(const Text& page, const Text& blockStart, const Text& blockEnd) {
  const Text block = textBetween(page, blockStart, blockEnd);
  const Text decoded = urlDecode(block, true);
  TextArray items;
  textBetweenAll(decoded, kItemStart, kItemEnd, items, /*caseSensitive=*/true, 0, {}, {},
                 /*includeStart=*/false, /*includeEnd=*/true, 1);
  return items;
}

void appendThumbnailUrls(const TextArray& items, const Text& base, TextArray& urls) {
  for (const Text& item : items) urls.push_back(base + textBetween(item, "src=\"", "\" /></div>", 1, true));
}

Text latestListUrl(const Text& base) { return base + "/face/New.aspx"; }

TextArray latestListItems(const Text& page) {
  return listPageItems(page, latestListBlockStart(), latestListBlockEnd());
}

// Reals truncated only at the end: 95 items give 9 pages and 85 (not 81) items.
Text latestListCaption(std::size_t items) {
  const double tenths = static_cast<double>(items) / 10.0;
  return "共"_gbk + fromInteger(static_cast<long long>(tenths)) + "页"_gbk +
         fromInteger(static_cast<long long>(tenths * 9)) + "条内容"_gbk;
}

int latestListPageCount(std::size_t items) { return static_cast<int>(static_cast<double>(items) / 10.0); }

Text allListUrl(const Text& base, int sitePage, bool firstPageAddress) {
  Text url = base + "/face/ListWithImage.aspx";
  if (!firstPageAddress) url += "?pn=" + fromInteger(sitePage);
  return url;
}

bool loadListSitePage(const forms::Context& ctx, int sitePage, bool firstPageAddress) {
  ctx.state.list.listImageUrls.clear();
  const TextArray items =
      listPageItems(webRequest(allListUrl(ctx.sites.templateBase(), sitePage, firstPageAddress)),
                    allListBlockStart(), allListBlockEnd());
  if (static_cast<int>(items.size()) < kMinListItems) {
    showNoMatches(ctx);
    return false;
  }
  appendThumbnailUrls(items, ctx.sites.templateBase(), ctx.state.list.listImageUrls);
  return true;
}

void loadAllList(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
  drawViewLabels(ctx, f.网络所有编辑);
  f.跳页_按钮->setEnabled(true);
  showBusyTip(ctx);
  s.listMode = forms::ListMode::All;
  s.listSitePage = 1;
  s.listPage = 1;
  s.listImageUrls.clear();
  const TextArray items = listPageItems(webRequest(allListUrl(ctx.sites.templateBase(), 1, true)),
                                        allListBlockStart(), allListBlockEnd());
  // The site's own counters are not read: the count of the all-templates list is fixed.
  setRecordCaption(ctx, "共185页1665条内容"_gbk);
  s.listPageCount = 185;
  f.下一页->setEnabled(true);
  f.上一页->setEnabled(false);
  f.首页->setEnabled(false);
  f.显示页->setCaption(fromInteger(s.listPage) + "/" + fromInteger(s.listPageCount));
  if (static_cast<int>(items.size()) < kMinListItems) {
    showNoMatches(ctx);
    return;
  }
  appendThumbnailUrls(items, ctx.sites.templateBase(), s.listImageUrls);
  showListPictures(ctx, s.listPage * 9 - 8);
}

void selectLatestList(const forms::Context& ctx) {
  auto& s = ctx.state.list;
  drawViewLabels(ctx, ctx.main.网络最新编辑);
  ctx.main.跳页_按钮->setEnabled(false);  // no jumping in the latest list
  s.listMode = forms::ListMode::Latest;
  s.listPage = 1;
  s.listImageUrls.clear();
}

void requestLatestList(const forms::Context& ctx, net::Exchanges& exchanges,
                       std::function<void(bool shown)> onList) {
  const Text base = ctx.sites.templateBase();
  exchanges.page(latestListUrl(base), [ctx = &ctx, exchanges = &exchanges, base, onList](Text page) {
    auto& s = ctx->state.list;
    const TextArray items = latestListItems(page);
    const bool shown = static_cast<int>(items.size()) >= kMinListItems;
    s.listRecordCaption = latestListCaption(items.size());
    s.listPageCount = latestListPageCount(items.size());
    onList(shown);
    if (!shown) return;
    appendThumbnailUrls(items, base, s.listImageUrls);
    s.listSlotBase = 0;  // the first page, items 1 to 8
    requestPictureBoxes(*exchanges, ctx->main.listBoxes(), s.listImageUrls, 1);
  });
}

void loadLatestList(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
  selectLatestList(ctx);
  showBusyTip(ctx);
  net::Exchanges exchanges;
  bool shown = false;
  requestLatestList(ctx, exchanges, [&](bool listShown) {
    shown = listShown;
    f.标签_记录->setCaption(s.listRecordCaption);
    f.显示页->setCaption(fromInteger(s.listPage) + "/" + fromInteger(s.listPageCount));
    f.上一页->setEnabled(false);
    f.首页->setEnabled(false);
    f.下一页->setEnabled(s.listPageCount > 1);
  });
  exchanges.wait();
  if (!shown) showNoMatches(ctx);
}

void showListPictures(const forms::Context& ctx, int first) {
  auto& f = ctx.main;
  ctx.state.list.listSlotBase = first - 1;
  fillPictureBoxes(f.listBoxes(), ctx.state.list.listImageUrls, first);
}

void showNoMatches(const forms::Context& ctx) { forms::showMessage(ctx, kNoMatchesMessage); }

void bindTemplateList(forms::HandlerRegistry& registry) {
  const forms::MainForm& f = registry.context().main;
  registry.on(f.网络最新编辑, toolkit::Event::LeftDown, loadLatestList);
  registry.on(f.网络所有编辑, toolkit::Event::LeftDown, loadAllList);
}

}  // namespace mw::browse
