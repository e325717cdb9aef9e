#pragma once
// The user's configuration and pictures folders, as Qt reads them from the XDG settings, for
// the places of an installed copy.
#include "runtime/places.h"

namespace mw::shell {

runtime::UserFolders userFolders();

}  // namespace mw::shell
