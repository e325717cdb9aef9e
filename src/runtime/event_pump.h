#pragma once
// Lets long loops and waiting requests keep the window painting. The GUI installs a pump
// that processes what may run while a handler waits; without one, pumping does nothing.
#include <functional>

namespace mw::runtime {

void setEventPump(std::function<void()> pump);
void pumpEvents();

// Set once the program is ending (its last window closed during a wait): every wait returns
// at once, aborting what it waited for, and none starts again. Cleared for a fresh start.
void setWaitsAborted(bool aborted);
bool waitsAborted();

}  // namespace mw::runtime
