#pragma once
// Moved to platform/desktop.h. Start-up, main and the clipboard and favourites actions still name it
// here; this header goes when they follow.
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
