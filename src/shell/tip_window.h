#pragma once
// The tip window 打赏窗口: opened from 打赏_按钮 centred over the main window, gone again on a
// click or when it loses the focus.
#include "forms/handler_registry.h"

namespace mw::shell {

// 打赏_按钮 pressed: the tip window opens.
void tipButtonPressed(const forms::Context& ctx);
// 打赏窗口 created: centred over the main window.
void tipWindowCreated(const forms::Context& ctx);
// 打赏窗口 pressed or left by the focus: it goes.
void closeTipWindow(const forms::Context& ctx);

void bindTipWindow(forms::HandlerRegistry& registry);

}  // namespace mw::shell
