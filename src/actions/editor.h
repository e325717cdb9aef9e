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

// What the editor says: a file that cannot be shown, and the zoom limits.
inline const Text kCannotOpenTip = "无法打开该图片"_gbk;
inline const Text kLargestMessage = "已是最大尺寸"_gbk;
inline const Text kSmallestMessage = "已是最小尺寸"_gbk;

// 本地保存编辑: the page, without the paging bar; 本地编辑_返回: back to the template list.
void openEditorPage(const forms::Context& ctx);
void leaveEditorPage(const forms::Context& ctx);
// 本地编辑_打开文件: a picture file through the open dialog, fitted to 300 pixels. A cancelled
// dialog, or a file that cannot be read or shown, leaves everything as it was.
void openPicture(const forms::Context& ctx);
// 本地编辑_设置按钮 (确定): the chosen font and colour on the text already placed.
void applyLook(const forms::Context& ctx);
// 本地编辑_感应透明标签: the typed text placed where the press was.
void placeText(const forms::Context& ctx, const toolkit::Input& in);
// 本地编辑_图片放大 and 图片缩小: 10 pixels in height; nothing before a picture was opened.
void zoomIn(const forms::Context& ctx);
void zoomOut(const forms::Context& ctx);
// 本地编辑_完成: what the picture box shows, border and text included, onto the clipboard.
void finish(const forms::Context& ctx);

// The display size onto the box and the two labels on it; the chosen font size and name onto
// the edit box and the text over the picture.
void applyEditorSize(const forms::Context& ctx);
void applyEditorFont(const forms::Context& ctx);

// Binds 本地保存编辑 (opens the page) and the controls of the page, and enters the stand-ins of
// the editor's font names.
void bindEditor(forms::HandlerRegistry& registry);

}  // namespace mw::actions
