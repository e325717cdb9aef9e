#include "shell/list_view_bindings.h"

#include "browse/paging.h"
#include "browse/template_list.h"
#include "toolkit/controls.h"
#include "toolkit/events.h"

namespace mw::shell {

void bindListView(forms::MainForm& form, forms::ProgramState& state, const net::SiteSettings& sites,
                  HandlerGate& gate) {
  using toolkit::events;
  using toolkit::Pointer;
  forms::MainForm* f = &form;
  forms::ProgramState* s = &state;
  const net::SiteSettings* hosts = &sites;
  HandlerGate* g = &gate;
  // The context is made when the handler runs, with the sites as they are then.
  const auto gated = [f, s, hosts, g](std::function<void(const browse::BrowseContext&)> handler) {
    return [f, s, hosts, g, handler] {
      g->run([f, s, hosts, handler] {
        handler(browse::BrowseContext{*f, *s, hosts->templateBase(), hosts->searchBase()});
      });
    };
  };
  events(form.网络最新编辑).leftDown = [run = gated(browse::loadLatestList)](const Pointer&) { run(); };
  events(form.网络所有编辑).leftDown = [run = gated(browse::loadAllList)](const Pointer&) { run(); };
  // A click that waited for the gate counts only if its button is still enabled when it runs,
  // as a click delivered late by the window would.
  const auto button = [gated](toolkit::Button* b, void (*handler)(const browse::BrowseContext&)) {
    return gated([b, handler](const browse::BrowseContext& ctx) {
      if (!toolkit::isDisabledFlag(b)) handler(ctx);
    });
  };
  events(form.上一页).click = button(form.上一页, browse::previousPage);
  events(form.下一页).click = button(form.下一页, browse::nextPage);
  events(form.首页).click = button(form.首页, browse::firstPage);
  events(form.跳页_按钮).click = button(form.跳页_按钮, browse::jumpToPage);
  events(form.跳页_编辑框).keyDown = [gated](int keyCode) {
    gated([keyCode](const browse::BrowseContext& ctx) { browse::jumpBoxKeyDown(ctx, keyCode); })();
  };
}

}  // namespace mw::shell
