#pragma once
// The user's configuration, pictures, runtime and cache folders, as Qt reads them from the XDG
// settings, for the places of the program.
#include "runtime/places.h"

namespace mw::shell {

runtime::UserFolders userFolders();

}  // namespace mw::shell
