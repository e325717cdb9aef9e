#include "forms/notices.h"

#include <QCursor>

#include "toolkit/balloon_tip.h"

namespace mw::forms {

void showCursorTip(const Context& ctx, const Text& text) {
  ctx.main.气球提示框1->showAt(QCursor::pos(), text);
}

void showMessage(const Context& ctx, const Text& message) {
  ctx.desktop.messageBox(ctx.main.主窗口, message, {}, platform::MessageButtons::Ok);
}

}  // namespace mw::forms
