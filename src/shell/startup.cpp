#include "shell/startup.h"

#include "browse/search.h"

namespace mw::shell {

void bindStartUp(forms::HandlerRegistry& registry) {
  // Before the window shows: the search starts on site page 1 with its placeholder.
  registry.on(registry.context().main.主窗口, toolkit::Event::Created, browse::prepareSearch);
}

}  // namespace mw::shell
