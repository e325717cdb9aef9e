#pragma once
// Where the pointer is, as the program's own windows see it. A Wayland client learns the
// pointer's place only from the events of its own surfaces, so the place is taken from those on
// every platform.
#include <QPoint>
#include <optional>

class QWidget;

namespace mw::toolkit {

// The pointer's place in global coordinates while it is over `window`, or over a popup standing
// on it (the balloon tip) within the window's bounds; nullopt while it is elsewhere or unknown.
std::optional<QPoint> pointerOver(const QWidget* window);

}  // namespace mw::toolkit
