#pragma once
// Moved to platform/qt_text.h. The clipboard action and toolkit/window.cpp still name it here;
// this header goes when they follow.
#include "platform/qt_text.h"

namespace mw::toolkit {
using platform::toQString;
using platform::fromQString;
}  // namespace mw::toolkit
