#include "browse/list_paging.h"

#include <cmath>

#include "browse/paging.h"
#include "browse/template_list.h"
#include "toolkit/controls.h"

namespace mw::browse {
using runtime::fromInteger;
namespace {

constexpr int kPagesPerSitePage = 5;
// Last site page of the fixed 185-page count of the all-templates list.
constexpr int kLastSitePage = 37;

bool latestMode(const BrowseContext& ctx) { return ctx.state.listMode == "最新"_gbk; }
bool allMode(const BrowseContext& ctx) { return ctx.state.listMode == "所有"_gbk; }

// Remainder of page ÷ 5 on reals, with the sign of the dividend.
double siteRemainder(int page) { return std::fmod(static_cast<double>(page), kPagesPerSitePage); }

// First index of listPage within the held site page.
int firstIndexInSitePage(const BrowseContext& ctx) {
  return (ctx.state.listPage - (ctx.state.listSitePage - 1) * kPagesPerSitePage) * 9 - 8;
}

void showPageCaption(const BrowseContext& ctx) {
  ctx.form.显示页->setCaption(fromInteger(ctx.state.listPage) + "/" + fromInteger(ctx.state.listPageCount));
}

}  // namespace

void listPreviousPage(const BrowseContext& ctx) {
  auto& f = ctx.form;
  auto& s = ctx.state;
  s.listPage -= 1;
  f.下一页->setEnabled(true);
  if (s.listPage == 1) {
    f.上一页->setEnabled(false);
    f.首页->setEnabled(false);
  }
  if (latestMode(ctx)) {
    showListPictures(ctx, s.listPage * 9 - 8);
  } else if (allMode(ctx)) {
    if (std::fabs(siteRemainder(s.listPage)) > kTolerance) {
      showListPictures(ctx, firstIndexInSitePage(ctx));
    } else {
      // The last page of the previous site page; site page 1 only has its own address.
      s.listSitePage -= 1;
      if (loadListSitePage(ctx, s.listSitePage, s.listSitePage == 1))
        showListPictures(ctx, firstIndexInSitePage(ctx));
    }
  }
  showPageCaption(ctx);
}

void listNextPage(const BrowseContext& ctx) {
  auto& f = ctx.form;
  auto& s = ctx.state;
  f.上一页->setEnabled(true);
  f.首页->setEnabled(true);
  s.listPage += 1;
  if (latestMode(ctx)) {
    showListPictures(ctx, s.listPage * 9 - 8);
  } else if (allMode(ctx)) {
    bool found = true;
    if (s.listPage >= 6 && std::fabs(siteRemainder(s.listPage) - 1) <= kTolerance) {
      s.listSitePage += 1;
      found = loadListSitePage(ctx, s.listSitePage, false);
    }
    if (found) showListPictures(ctx, firstIndexInSitePage(ctx));
  }
  if (s.listPage == s.listPageCount) f.下一页->setEnabled(false);
  showPageCaption(ctx);
}

void listFirstPage(const BrowseContext& ctx) {
  auto& f = ctx.form;
  auto& s = ctx.state;
  s.listPage = 1;
  f.首页->setEnabled(false);
  f.上一页->setEnabled(false);
  f.下一页->setEnabled(s.listPageCount > 1);
  if (latestMode(ctx)) {
    showListPictures(ctx, 1);
  } else if (allMode(ctx)) {
    s.listSitePage = 1;
    if (loadListSitePage(ctx, 1, true)) showListPictures(ctx, 1);
  }
  f.显示页->setCaption("1/" + fromInteger(s.listPageCount));
}

void listJumpToPage(const BrowseContext& ctx) {
  auto& f = ctx.form;
  auto& s = ctx.state;
  double target = jumpTarget(f);
  if (target - s.listPageCount > kTolerance) {
    f.跳页_编辑框->setText(fromInteger(s.listPageCount));
    s.listPage = s.listPageCount;
    s.listSitePage = kLastSitePage;
    if (loadListSitePage(ctx, kLastSitePage, false)) showListPictures(ctx, firstIndexInSitePage(ctx));
  } else {
    s.listPage = static_cast<int>(target);
    const double rest = siteRemainder(s.listPage);
    const int whole = s.listPage / kPagesPerSitePage;
    s.listSitePage = std::fabs(rest) > kTolerance ? whole + 1 : whole;
    // Always the "?pn=" address, also for site page 1.
    if (loadListSitePage(ctx, s.listSitePage, false)) showListPictures(ctx, firstIndexInSitePage(ctx));
  }
  if (s.listPage == s.listPageCount) f.下一页->setEnabled(false);
  if (s.listPage == 1) {
    f.首页->setEnabled(false);
    f.上一页->setEnabled(false);
  } else if (s.listPage > 1) {
    f.首页->setEnabled(true);
    f.上一页->setEnabled(true);
  }
  showPageCaption(ctx);
}

}  // namespace mw::browse
