#pragma once
// Moved to platform/wait_pump.h. The update window's test still names it here;
// this header goes when it follows.
#include "platform/wait_pump.h"

namespace mw::toolkit {
using platform::WaitPump;
using platform::setLiveDuringWaits;
using platform::liveDuringWaits;
}  // namespace mw::toolkit
