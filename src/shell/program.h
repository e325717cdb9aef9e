#pragma once
// shell: the program itself, every feature bound once, start-up, chrome and the small windows.
// The running program: its windows, the program-wide state and the handlers bound to them.
#include "forms/handler_registry.h"
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "forms/update_form.h"
#include "net/site_settings.h"
#include "platform/desktop.h"
#include "runtime/picture_files.h"
#include "runtime/places.h"

namespace mw::shell {

class Program {
 public:
  // `desktop` answers the handlers' dialogs and the controls' own while the program lives; it
  // must outlive the program. `places` say where the settings and favourites go.
  Program(const forms::PictureSource& pictures, net::SiteSettings sites, platform::Desktop& desktop,
          runtime::ProgramPlaces places);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Loads the main window: created event, then shown centred on the screen.
  void start();

  const net::SiteSettings sites;
  const runtime::ProgramPlaces places;
  forms::ProgramState state;
  forms::MainForm main;
  forms::UpdateForm update;
  forms::TipForm tip;
  // In the private folder; made here, which removes what runs that have ended left there.
  runtime::PictureFiles pictureFiles;

  forms::HandlerRegistry registry;
};

}  // namespace mw::shell
