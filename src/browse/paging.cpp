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
  // Button states restored by a page switch can leave 上一页 on at page 1 (after a start whose
  // lists failed to load); there is no page before the first to go to.
  const int shown = page == Page::Home ? ctx.state.search.searchPage : ctx.state.list.listPage;
  if ((page == Page::Home || page == Page::Edit) && shown <= 1) {
    ctx.main.上一页->setEnabled(false);
    ctx.main.首页->setEnabled(false);
    return;
  }
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

void bindPaging(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  registry.on(f.上一页, Event::Click, previousPage);
  registry.on(f.下一页, Event::Click, nextPage);
  registry.on(f.首页, Event::Click, firstPage);
  registry.on(f.跳页_按钮, Event::Click, jumpToPage);
  registry.on(f.跳页_编辑框, Event::KeyDown,
              [](const forms::Context& ctx, const toolkit::Input& in) { jumpBoxKeyDown(ctx, in.keyCode); });
}

}  // namespace mw::browse
