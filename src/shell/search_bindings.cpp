#include "shell/search_bindings.h"

#include <functional>

#include "browse/search.h"
#include "toolkit/events.h"

namespace mw::shell {

void bindSearchView(forms::MainForm& form, forms::ProgramState& state, const net::SiteSettings& sites,
                    HandlerGate& gate) {
  using toolkit::events;
  forms::MainForm* f = &form;
  forms::ProgramState* s = &state;
  const net::SiteSettings* hosts = &sites;
  HandlerGate* g = &gate;
  const auto bound = [f, s, hosts, g](std::function<void(const browse::BrowseContext&)> handler) {
    return [f, s, hosts, g, handler] {
      g->run([f, s, hosts, handler] {
        handler(browse::BrowseContext{*f, *s, hosts->templateBase(), hosts->searchBase()});
      });
    };
  };
  const auto search = bound(browse::runSearch);
  events(form.搜索).leftDown = [search](const toolkit::Pointer&) { search(); };
  events(form.搜索框).keyDown = [search](int keyCode) {
    if (keyCode == 13) search();  // Enter
  };
  events(form.搜索框).gotFocus = bound(browse::removeSearchPlaceholder);
}

void searchWindowCreated(forms::MainForm& form, forms::ProgramState& state) {
  browse::prepareSearch(browse::BrowseContext{form, state, {}, {}});
}

}  // namespace mw::shell
