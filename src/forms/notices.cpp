#include "forms/notices.h"

#include <QCursor>

#include "toolkit/balloon_tip.h"
#include "toolkit/controls.h"

namespace mw::forms {

void showCursorTip(const Context& ctx, const Text& text) {
  ctx.main.气球提示框1->showAt(QCursor::pos(), text);
}

void showMessage(const Context& ctx, const Text& message) {
  ctx.desktop.messageBox(ctx.main.主窗口, message, {}, platform::MessageButtons::Ok);
}

bool holdsPicture(const Context& ctx, const toolkit::PictureBox& box) {
  static const Text kNoPictureTip = "无图片数据"_gbk;
  if (!box.picture().empty()) return true;
  showCursorTip(ctx, kNoPictureTip);
  return false;
}

}  // namespace mw::forms
