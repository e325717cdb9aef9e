#pragma once
// The running program: its windows, the program-wide state and the handlers bound to them.
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "forms/update_form.h"
#include "net/site_settings.h"
#include "shell/chrome.h"
#include "shell/handler_gate.h"

namespace mw::shell {

class Program {
 public:
  explicit Program(const forms::PictureSource& pictures);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Loads the main window: created event, then shown centred on the screen.
  void start();

  const ChromePictures chrome;
  net::SiteSettings sites;  // the hosts every handler reads from
  forms::ProgramState state;
  forms::MainForm main;
  forms::UpdateForm update;
  forms::TipForm tip;
  HandlerGate gate;  // the list and paging handlers run one at a time
};

}  // namespace mw::shell
