#pragma once
// The main window's own chrome: the drag strip, the minimise/close strip with its hover look,
// the three page buttons, focus on a background press and the group link.
#include "forms/handler_registry.h"

namespace mw::shell {

// Zones of the 84 x 41 minimise/close strip, x and y relative to it.
enum class StripZone { None, Minimise, Close };
StripZone hoverZone(int x, int y);
StripZone pressZone(int x, int y);

// Said at the pointer when no browser takes an address the program opens.
Text browserFailedTip();

void bindChrome(forms::HandlerRegistry& registry, const forms::PictureSource& pictures);

}  // namespace mw::shell
