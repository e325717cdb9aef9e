#pragma once
// What the program tells the user: a balloon at the pointer, or a message box over the main window.
#include "forms/context.h"

namespace mw::forms {

// Shows the text in the balloon tip 气球提示框1 at the mouse pointer while it is over the main
// window, else at the control whose handler runs (a press by the keyboard or a tool).
void showCursorTip(const Context& ctx, const Text& text);
// A message box with OK only, titled "信息：", over the main window.
void showMessage(const Context& ctx, const Text& message);

// Whether the picture box holds a picture to act on; when it holds none, "无图片数据" is shown at
// the pointer.
bool holdsPicture(const Context& ctx, const toolkit::PictureBox& box);

}  // namespace mw::forms
