#pragma once
// The flat control look the program switches to at start: buttons, edit boxes and combo boxes
// drawn with a one-pixel frame in the scheme's colour and a flat fill, without a 3-D bevel.
#include <QColor>

namespace mw::toolkit {

// The frame colours of the three colour schemes.
inline constexpr QRgb kFlatSchemeFrames[] = {qRgb(0x7B, 0x9E, 0xBD), qRgb(0xA4, 0xB9, 0x7F),
                                             qRgb(0xC6, 0xC5, 0xD7)};

// Applies to every window of the application, those built later included. `scheme` is 1..3.
void useFlatLook(int scheme);

}  // namespace mw::toolkit
