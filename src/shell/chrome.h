#pragma once
// The main window's own chrome: the drag strip, the minimise/close strip with its hover look,
// the three page buttons, focus on a background press and the group link.
#include "forms/main_form.h"
#include "forms/program_state.h"

namespace mw::shell {

struct ChromePictures {
  Bytes skinHome, skinEdit, skinFavourites;
  Bytes stripNormal, stripCloseHot, stripMinimiseHot;
};

ChromePictures chromePictures(const forms::PictureSource& pictures);

// Zones of the 84 x 41 minimise/close strip, x and y relative to it.
enum class StripZone { None, Minimise, Close };
StripZone hoverZone(int x, int y);
StripZone pressZone(int x, int y);

// Page buttons.
void pressHome(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures);
void pressEdit(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures);
void pressFavourites(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures);

// Minimise/close strip.
void stripMoved(forms::MainForm& form, const ChromePictures& pictures, int x, int y);
void stripPressed(forms::MainForm& form, const ChromePictures& pictures, int x, int y);

// Binds every handler above to its control's events. `state` and `pictures` must outlive the form.
void bindChrome(forms::MainForm& form, forms::ProgramState& state, const ChromePictures& pictures);

}  // namespace mw::shell
