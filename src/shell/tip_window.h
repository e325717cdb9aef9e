#pragma once
// The tip window 打赏窗口: opened from 打赏_按钮 centred over the main window, gone again on a
// click or when it loses the focus.
#include "forms/handler_registry.h"

namespace mw::shell {

void bindTipWindow(forms::HandlerRegistry& registry);

}  // namespace mw::shell
