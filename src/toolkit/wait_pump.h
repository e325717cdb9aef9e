#pragma once
// Moved to platform/wait_pump.h. Start-up, main and the clipboard and favourites actions still name it
// here; this header goes when they follow.
#include "platform/wait_pump.h"

namespace mw::toolkit {
using platform::WaitPump;
using platform::setLiveDuringWaits;
using platform::liveDuringWaits;
}  // namespace mw::toolkit
