#pragma once
// forms: the three windows' definitions, the program-wide state, the handlers' context and registry.
// What every handler works on: the windows, the program-wide state, the sites, the desktop and
// the files of the pictures handed out.
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "forms/update_form.h"
#include "net/site_settings.h"
#include "platform/desktop.h"
#include "runtime/picture_files.h"
#include "runtime/places.h"

namespace mw::forms {

struct Context {
  MainForm& main;
  UpdateForm& update;
  TipForm& tip;
  ProgramState& state;
  const net::SiteSettings& sites;
  platform::Desktop& desktop;
  const runtime::ProgramPlaces& places;  // where the settings and the default favourites go
  runtime::PictureFiles& pictureFiles;   // the files of the pictures copied and dragged out
};

// Remainders of real page numbers are compared with this tolerance.
inline constexpr double kTolerance = 0.0000001;

}  // namespace mw::forms
