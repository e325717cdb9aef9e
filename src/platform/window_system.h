#pragma once
// What the window system in use can do, where Qt's public interface does not tell.
namespace mw::platform {

// Whether a window's opacity shows. X11 has it; Wayland and the offscreen platform have none,
// and Qt warns at every try.
bool windowOpacityWorks();

// Whether QCursor::pos() is the pointer's place on the screen. A Wayland client learns the
// pointer only over its own surfaces, and Qt answers a place on whichever had it last.
bool pointerPlaceKnown();

}  // namespace mw::platform
