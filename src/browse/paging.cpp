#include "browse/paging.h"

#include "browse/list_paging.h"
#include "browse/search.h"
#include "runtime/text.h"
#include "toolkit/controls.h"

namespace mw::browse {
using runtime::toReal;
namespace {

constexpr int kHomePage = 0;
constexpr int kEditPage = 1;
constexpr int kEnterKey = 13;

int currentPage(const BrowseContext& ctx) { return ctx.form.选择夹1->currentPage(); }

}  // namespace

double jumpTarget(forms::MainForm& form) {
  const double target = toReal(form.跳页_编辑框->text());
  if (target >= 1) return target;
  form.跳页_编辑框->setText("1");
  return 1;
}

void previousPage(const BrowseContext& ctx) {
  const int page = currentPage(ctx);
  if (page == kHomePage) searchPreviousPage(ctx);
  if (page == kEditPage) listPreviousPage(ctx);
}

void nextPage(const BrowseContext& ctx) {
  const int page = currentPage(ctx);
  if (page == kHomePage) searchNextPage(ctx);
  if (page == kEditPage) listNextPage(ctx);
}

// Unlike the others, 首页 acts on the list from every page but the home page.
void firstPage(const BrowseContext& ctx) {
  if (currentPage(ctx) == kHomePage) {
    searchFirstPage(ctx);
  } else {
    listFirstPage(ctx);
  }
}

void jumpToPage(const BrowseContext& ctx) {
  const int page = currentPage(ctx);
  if (page == kHomePage) searchJump(ctx);
  if (page == kEditPage) listJumpToPage(ctx);
}

void jumpBoxKeyDown(const BrowseContext& ctx, int keyCode) {
  if (keyCode == kEnterKey && !toolkit::isDisabledFlag(ctx.form.跳页_按钮)) jumpToPage(ctx);
}

}  // namespace mw::browse
