#include "browse/search_view.h"

#include "browse/search.h"

namespace mw::browse {

void bindSearchView(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  registry.on(f.搜索, Event::LeftDown, runSearch);
  registry.on(f.搜索框, Event::KeyDown, [](const forms::Context& ctx, const toolkit::Input& in) {
    if (in.keyCode == toolkit::kEnterKey) runSearch(ctx);
  });
  registry.on(f.搜索框, Event::GotFocus, removeSearchPlaceholder);
}

}  // namespace mw::browse
