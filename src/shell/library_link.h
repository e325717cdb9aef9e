#pragma once
// The running program and the picture library of its embedded site: the library searches the
// favourites folder in use, and 搜索框 shows how far the library's reading has come.
#include "library/library.h"
#include "shell/program.h"

namespace mw::shell {

// Both must outlive the link's use: call unlinkLibrary before either goes.
void linkLibrary(Program& program, library::Library& library);
void unlinkLibrary(Program& program, library::Library& library);

}  // namespace mw::shell
