#pragma once
// Bringing a window up with the keyboard when the user asked for it from elsewhere: a command
// run from a launcher or a terminal, a shortcut, the tray. Window managers keep a window from
// taking the focus unless the request shows it follows the user's own action: on X11 by the
// server time of that action, on Wayland by an activation token the compositor handed the
// program the user acted on.
#include <QByteArray>
#include <cstdint>

class QWidget;

namespace mw::platform {

struct Activation {
  QByteArray token;           // an xdg-activation token; empty when none came
  std::uint32_t x11Time = 0;  // the X server's time of the request; 0 when none came
};

// The X server's time now, over a connection of its own to $DISPLAY (a command has no
// application object yet); 0 without an X display.
std::uint32_t x11ServerTime();

// The launch time a startup-notification id carries ("..._TIME<time>"), or 0.
std::uint32_t startupIdTime(const QByteArray& startupId);

// Tells the X desktop that the start of `startupId` is over (its busy pointer stops), for a
// start that handed its request to the running program and shows no window of its own.
void endStartupNotification(const QByteArray& startupId);

// Shows `window` (restored when minimised) over the others and asks for the keyboard with
// what the request brought. The window system may still refuse: nothing more can be done then.
void activateWindow(QWidget* window, const Activation& activation);

}  // namespace mw::platform
