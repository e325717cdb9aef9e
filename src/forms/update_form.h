#pragma once
// The update window 更新窗口 and the tip window 打赏窗口, each built from its one definition.
#include "toolkit/form_builder.h"

namespace mw::forms {

using toolkit::PictureSource;

class UpdateForm {
 public:
  explicit UpdateForm(const PictureSource& pictures);
  UpdateForm(const UpdateForm&) = delete;
  UpdateForm& operator=(const UpdateForm&) = delete;
  static const toolkit::WindowDef& def();

  toolkit::BuiltWindow built;
  toolkit::Window* 更新窗口 = nullptr;
  toolkit::Label* 标签1 = nullptr;
  toolkit::Label* 标签2 = nullptr;
  toolkit::EditBox* 编辑框1 = nullptr;
  toolkit::Label* 标签3 = nullptr;
  toolkit::Label* 标签4 = nullptr;
  toolkit::Button* 按钮1 = nullptr;
};

class TipForm {
 public:
  explicit TipForm(const PictureSource& pictures);
  TipForm(const TipForm&) = delete;
  TipForm& operator=(const TipForm&) = delete;
  static const toolkit::WindowDef& def();

  toolkit::BuiltWindow built;
  toolkit::Window* 打赏窗口 = nullptr;
};

// Left and top that centre a window of `inner` size over `outer`: computed in floating point
// and truncated toward zero, so it follows the outer window partly off-screen too.
QPoint centredOver(QRect outer, QSize inner);

}  // namespace mw::forms
