#include "platform/window_system.h"

#include <QGuiApplication>

namespace mw::platform {

bool windowOpacityWorks() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool pointerPlaceKnown() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

}  // namespace mw::platform
