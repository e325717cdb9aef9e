#pragma once
// Moved to platform/clipboard.h. Start-up, main and the clipboard and favourites actions still name it
// here; this header goes when they follow.
#include "platform/clipboard.h"

namespace mw::toolkit {
using platform::placeImageOnClipboard;
using platform::pictureFileData;
using platform::placeFileOnClipboard;
}  // namespace mw::toolkit
