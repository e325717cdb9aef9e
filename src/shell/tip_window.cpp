#include "shell/tip_window.h"

namespace mw::shell {

void bindTipWindow(forms::HandlerRegistry& registry) {
  using forms::Context;
  using toolkit::Event;
  const Context& ctx = registry.context();
  ctx.tip.打赏窗口->setOwner(ctx.main.主窗口);
  registry.on(ctx.main.打赏_按钮, Event::LeftDown, [](const Context& c) { c.tip.打赏窗口->load(); });
  registry.on(ctx.tip.打赏窗口, Event::Created, [](const Context& c) {
    c.tip.打赏窗口->move(forms::centredOver(c.main.主窗口->geometry(), c.tip.打赏窗口->size()));
  });
  const auto close = [](const Context& c) { c.tip.打赏窗口->destroyWindow(); };
  registry.on(ctx.tip.打赏窗口, Event::LeftDown, close);
  registry.on(ctx.tip.打赏窗口, Event::LostFocus, close);
}

}  // namespace mw::shell
