#pragma once
// What the browsing handlers work on: the main window's controls, the program-wide state
// and the two sites they read.
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "runtime/text.h"

namespace mw::browse {

struct BrowseContext {
  forms::MainForm& form;
  forms::ProgramState& state;
  Text templateBase;  // "http://" + host of the template site, no trailing "/"
  Text searchBase;    // "http://" + host of the search site
};

// Remainders of real page numbers are compared with this tolerance.
inline constexpr double kTolerance = 0.0000001;

}  // namespace mw::browse
