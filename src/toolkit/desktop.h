#pragma once
// Moved to platform/desktop.h. The update window (through forms/context.h) still names it here;
// this header goes when it follows.
#include "platform/desktop.h"

namespace mw::toolkit {
using platform::Desktop;
using platform::MessageButtons;
using platform::MessageAnswer;
using platform::QtDesktop;
using platform::qtDesktop;
using platform::useChineseQtTexts;
using platform::qtFileFilter;
}  // namespace mw::toolkit
