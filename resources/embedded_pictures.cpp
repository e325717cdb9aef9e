#include "resources/embedded_pictures.h"

#include <cstddef>
#include <string_view>

#include "embedded_index.inc"

namespace mw::resources {

mw::Bytes picture(std::string_view name) {
  for (const EmbeddedPicture& p : kPictures)
    if (p.name == name) return mw::Bytes(p.data, *p.size);
  return {};
}

}  // namespace mw::resources
