#include "shell/tip_window.h"

namespace mw::shell {

using forms::Context;

void tipButtonPressed(const Context& ctx) { ctx.tip.打赏窗口->load(); }

void tipWindowCreated(const Context& ctx) {
  ctx.tip.打赏窗口->move(forms::centredOver(ctx.main.主窗口->geometry(), ctx.tip.打赏窗口->size()));
}

void closeTipWindow(const Context& ctx) { ctx.tip.打赏窗口->destroyWindow(); }

void bindTipWindow(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const Context& ctx = registry.context();
  ctx.tip.打赏窗口->setOwner(ctx.main.主窗口);
  registry.on(ctx.main.打赏_按钮, Event::LeftDown, tipButtonPressed);
  registry.on(ctx.tip.打赏窗口, Event::Created, tipWindowCreated);
  registry.on(ctx.tip.打赏窗口, Event::LeftDown, closeTipWindow);
  registry.on(ctx.tip.打赏窗口, Event::LostFocus, closeTipWindow);
}

}  // namespace mw::shell
