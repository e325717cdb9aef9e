#include "browse/paging.h"

#include "browse/list_paging.h"
#include "browse/search.h"
#include "runtime/text.h"
#include "toolkit/controls.h"
#include "toolkit/events.h"

namespace mw::browse {
using runtime::toReal;
namespace {

using forms::Page;

}  // namespace

double jumpTarget(forms::MainForm& form) {
  const double target = toReal(form.跳页_编辑框->text());
  if (target >= 1) return target;
  form.跳页_编辑框->setText("1");
  return 1;
}

void previousPage(const forms::Context& ctx) {
  const Page page = ctx.main.page();
  if (page == Page::Home) searchPreviousPage(ctx);
  if (page == Page::Edit) listPreviousPage(ctx);
}

void nextPage(const forms::Context& ctx) {
  const Page page = ctx.main.page();
  if (page == Page::Home) searchNextPage(ctx);
  if (page == Page::Edit) listNextPage(ctx);
}

// Unlike the others, 首页 acts on the list from every page but the home page.
void firstPage(const forms::Context& ctx) {
  if (ctx.main.page() == Page::Home) {
    searchFirstPage(ctx);
  } else {
    listFirstPage(ctx);
  }
}

void jumpToPage(const forms::Context& ctx) {
  const Page page = ctx.main.page();
  if (page == Page::Home) searchJump(ctx);
  if (page == Page::Edit) listJumpToPage(ctx);
}

void jumpBoxKeyDown(const forms::Context& ctx, int keyCode) {
  if (keyCode == toolkit::kEnterKey && !toolkit::isDisabledFlag(ctx.main.跳页_按钮)) jumpToPage(ctx);
}

}  // namespace mw::browse
