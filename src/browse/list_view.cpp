#include "browse/list_view.h"

#include "browse/paging.h"
#include "browse/template_list.h"

namespace mw::browse {

void bindListView(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  registry.on(f.网络最新编辑, Event::LeftDown, loadLatestList);
  registry.on(f.网络所有编辑, Event::LeftDown, loadAllList);
  registry.on(f.上一页, Event::Click, previousPage);
  registry.on(f.下一页, Event::Click, nextPage);
  registry.on(f.首页, Event::Click, firstPage);
  registry.on(f.跳页_按钮, Event::Click, jumpToPage);
  registry.on(f.跳页_编辑框, Event::KeyDown,
              [](const forms::Context& ctx, const toolkit::Input& in) { jumpBoxKeyDown(ctx, in.keyCode); });
}

}  // namespace mw::browse
