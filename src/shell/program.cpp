#include "shell/program.h"

#include "shell/list_view_bindings.h"
#include "shell/search_bindings.h"
#include "toolkit/events.h"

namespace mw::shell {

Program::Program(const forms::PictureSource& pictures)
    : chrome(chromePictures(pictures)), main(pictures), update(pictures), tip(pictures) {
  bindChrome(main, state, chrome);
  bindListView(main, state, sites, gate);
  bindSearchView(main, state, sites, gate);
  toolkit::events(main.主窗口).created = [this] { searchWindowCreated(main, state); };
}

void Program::start() { main.主窗口->load(); }

}  // namespace mw::shell
