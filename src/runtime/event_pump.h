#pragma once
// Lets long loops and waiting requests keep the window painting. The GUI installs a pump
// that processes paint and timer events only; without one, pumping does nothing.
#include <functional>

namespace mw::runtime {

void setEventPump(std::function<void()> pump);
void pumpEvents();

}  // namespace mw::runtime
