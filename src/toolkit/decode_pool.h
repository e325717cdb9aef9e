#pragma once
// Moved to picture/decode_pool.h. The clipboard action still names it here;
// this header goes when it follows.
#include "picture/decode_pool.h"

namespace mw::toolkit {
using picture::runDecodeJob;
using picture::runOnWindowThread;
using picture::decodeWhileWaiting;
}  // namespace mw::toolkit
