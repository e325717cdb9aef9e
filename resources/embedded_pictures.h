#pragma once
// The pictures compiled into the program: skins, chrome strips, control pictures, the tip
// window's picture and the favourites marker GIF, each the bytes of the file of that name.
#include <string_view>

#include "runtime/text.h"

namespace mw::resources {

// The file's bytes; empty for an unknown name.
mw::Bytes picture(std::string_view name);

}  // namespace mw::resources
