#include "forms/notices.h"

#include <QCursor>

#include "forms/handler_registry.h"
#include "platform/window_system.h"
#include "toolkit/balloon_tip.h"
#include "toolkit/controls.h"
#include "toolkit/pointer.h"

namespace mw::forms {
namespace {

QPoint tipPoint(const QWidget* main) {
  if (const auto pointer = toolkit::pointerOver(main)) return *pointer;
  // A press by the keyboard or an accessibility tool, or input replayed after a load while the
  // pointer has left: at the control the handler runs for.
  const QWidget* control = runningHandlerControl();
  if (control && !control->isWindow() && control->window() == main && control->isVisible()) {
    return control->mapToGlobal(control->rect().center());
  }
  if (platform::pointerPlaceKnown()) return QCursor::pos();
  return main->mapToGlobal(main->rect().center());
}

}  // namespace

void showCursorTip(const Context& ctx, const Text& text) {
  ctx.main.气球提示框1->showAt(tipPoint(ctx.main.主窗口), text);
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
