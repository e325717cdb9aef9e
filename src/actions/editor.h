#pragma once
// The local caption editor of the 本地制作 page: a picture of the user's own is opened and shown
// at a fitting size, text typed beside it is placed on it where the user presses, in the chosen
// font, size and colour, the picture is zoomed in steps of 10 pixels, and 完成 copies what the
// picture box shows, text included, to the clipboard. The labels lying on the picture box do
// the composing; nothing is written to disk.
#include <QSize>

#include "forms/handler_registry.h"

namespace mw::actions {

// The display size of a picture `aspect` (height / width) times as high as wide: 300 pixels
// high when the aspect is at least 0.7, else 300 wide; the other side truncated.
QSize editorFitSize(double aspect);

// Binds 本地保存编辑 (opens the page) and the controls of the page, and enters the stand-ins of
// the editor's font names.
void bindEditor(forms::HandlerRegistry& registry);

}  // namespace mw::actions
