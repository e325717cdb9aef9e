#pragma once
// What the windows' controls are called for accessibility tools where they show no caption of
// their own, and the hints that depend on what the program does with a control.
#include "forms/main_form.h"
#include "forms/update_form.h"

namespace mw::forms {

void describeForTools(MainForm& form);
void describeForTools(UpdateForm& form);
void describeForTools(TipForm& form);

}  // namespace mw::forms
