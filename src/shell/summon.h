#pragma once
// Summoning the main window from outside it: the requests of later starts, the tray and the
// global shortcut. Shown means ready to type: over the other windows, active, the keyboard in
// 搜索框 with its text selected. (The program's own start keeps the focus on 搜索.)
#include "platform/window_activation.h"
#include "shell/instance.h"
#include "shell/program.h"

namespace mw::shell {

void showWindow(Program& program, const platform::Activation& activation);
void hideWindow(Program& program);
// Hides the window when it shows and has the keyboard; else shows it.
void toggleWindow(Program& program, const platform::Activation& activation);
// Shows the window, puts `word` in 搜索框 (the placeholder gone, as when it gets the focus) and
// searches as Enter does, once start-up is over.
void searchFor(Program& program, const Text& word, const platform::Activation& activation);
// Ends the program as the close zone does.
void quitProgram(Program& program);

// A request handed over by a later start. `startedHere`: the request of this program's own
// start, whose window shows by itself.
void takeRequest(Program& program, const Request& request, bool startedHere = false);

}  // namespace mw::shell
