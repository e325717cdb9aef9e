#pragma once
// Moved to picture/picture_decoder.h. Start-up, main and the clipboard and favourites actions still name it
// here; this header goes when they follow.
#include "picture/picture_decoder.h"

namespace mw::toolkit {
using picture::DecodedPicture;
using picture::PictureFormat;
using picture::sniffPictureFormat;
using picture::decodePicture;
}  // namespace mw::toolkit
