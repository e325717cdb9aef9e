#pragma once
// Moved to platform/clipboard.h. The clipboard action still names it here;
// this header goes when it follows.
#include "platform/clipboard.h"

namespace mw::toolkit {
using platform::placeImageOnClipboard;
using platform::pictureFileData;
using platform::placeFileOnClipboard;
}  // namespace mw::toolkit
