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

bool latestMode(const forms::Context& ctx) { return ctx.state.list.listMode == forms::ListMode::Latest; }
bool allMode(const forms::Context& ctx) { return ctx.state.list.listMode == forms::ListMode::All; }

// Remainder of page ÷ 5 on reals, with the sign of the dividend.
double siteRemainder(int page) { return std::fmod(static_cast<double>(page), kPagesPerSitePage); }

// First index of listPage within the held site page.
int firstIndexInSitePage(const forms::Context& ctx) {
  return (ctx.state.list.listPage - (ctx.state.list.listSitePage - 1) * kPagesPerSitePage) * 9 - 8;
}

void showPageCaption(const forms::Context& ctx) {
  ctx.main.显示页->setCaption(fromInteger(ctx.state.list.listPage) + "/" +
                              fromInteger(ctx.state.list.listPageCount));
}

}  // namespace

void listPreviousPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
  s.listPage -= 1;
  f.下一页->setEnabled(true);
  if (s.listPage == 1) {
    f.上一页->setEnabled(false);
    f.首页->setEnabled(false);
  }
  if (latestMode(ctx)) {
    showListPictures(ctx, s.listPage * 9 - 8);
  } else if (allMode(ctx)) {
    if (std::fabs(siteRemainder(s.listPage)) > forms::kTolerance) {
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

void listNextPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
  f.上一页->setEnabled(true);
  f.首页->setEnabled(true);
  s.listPage += 1;
  if (latestMode(ctx)) {
    showListPictures(ctx, s.listPage * 9 - 8);
  } else if (allMode(ctx)) {
    bool found = true;
    if (s.listPage >= 6 && std::fabs(siteRemainder(s.listPage) - 1) <= forms::kTolerance) {
      s.listSitePage += 1;
      found = loadListSitePage(ctx, s.listSitePage, false);
    }
    if (found) showListPictures(ctx, firstIndexInSitePage(ctx));
  }
  if (s.listPage == s.listPageCount) f.下一页->setEnabled(false);
  showPageCaption(ctx);
}

void listFirstPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
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

void listJumpToPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.list;
  double target = jumpTarget(f);
  if (target - s.listPageCount > forms::kTolerance) {
    f.跳页_编辑框->setText(fromInteger(s.listPageCount));
    s.listPage = s.listPageCount;
    s.listSitePage = kLastSitePage;
    if (loadListSitePage(ctx, kLastSitePage, false)) showListPictures(ctx, firstIndexInSitePage(ctx));
  } else {
    s.listPage = static_cast<int>(target);
    const double rest = siteRemainder(s.listPage);
    const int whole = s.listPage / kPagesPerSitePage;
    s.listSitePage = std::fabs(rest) > forms::kTolerance ? whole + 1 : whole;
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
