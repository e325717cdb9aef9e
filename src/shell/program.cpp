#include "shell/program.h"

#include "browse/search.h"
#include "toolkit/events.h"

namespace mw::shell {

Program::Program(const forms::PictureSource& pictures)
    : chrome(chromePictures(pictures)), main(pictures), update(pictures), tip(pictures) {
  bindChrome(main, state, chrome);
  browse::bindSearch(browsing);
  toolkit::events(main.主窗口).created = [this] { browse::prepareSearch(browsing); };
}

void Program::start() {
  browsing.templateBase = sites.templateBase();
  browsing.searchBase = sites.searchBase();
  main.主窗口->load();
}

}  // namespace mw::shell
