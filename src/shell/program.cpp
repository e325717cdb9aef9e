#include "shell/program.h"

namespace mw::shell {

Program::Program(const forms::PictureSource& pictures)
    : chrome(chromePictures(pictures)), main(pictures), update(pictures), tip(pictures) {
  bindChrome(main, state, chrome);
}

void Program::start() { main.主窗口->load(); }

}  // namespace mw::shell
