#pragma once
// Start-up: the main window's created step.
#include "forms/handler_registry.h"

namespace mw::shell {

void bindStartUp(forms::HandlerRegistry& registry);

}  // namespace mw::shell
