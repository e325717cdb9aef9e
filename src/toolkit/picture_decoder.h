#pragma once
// Moved to picture/picture_decoder.h. The clipboard action still names it here;
// this header goes when it follows.
#include "picture/picture_decoder.h"

namespace mw::toolkit {
using picture::DecodedPicture;
using picture::PictureFormat;
using picture::sniffPictureFormat;
using picture::decodePicture;
}  // namespace mw::toolkit
