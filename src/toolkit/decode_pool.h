#pragma once
// Moved to picture/decode_pool.h. Start-up, main and the clipboard and favourites actions still name it
// here; this header goes when they follow.
#include "picture/decode_pool.h"

namespace mw::toolkit {
using picture::runDecodeJob;
using picture::runOnWindowThread;
using picture::decodeWhileWaiting;
}  // namespace mw::toolkit
