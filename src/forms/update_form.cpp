#include "forms/update_form.h"

#include "forms/form_table.h"
#include "forms/spoken_names.h"

namespace mw::forms {
namespace {

using namespace mw::toolkit;

#define CONTROL(...) MW_CONTROL(UpdateForm, __VA_ARGS__)

// The definitions read as a table, one control per entry.
// clang-format off
const std::vector<FormControl<UpdateForm>>& updateControls() {
  static const std::vector<FormControl<UpdateForm>> table{
          CONTROL(标签1, .geometry = {56, 8, 240, 40}, .look = {.h = HAlign::Centre}),
          CONTROL(标签2, .geometry = {8, 56, 96, 32}, .look = {.caption = "更新内容："}),
          CONTROL(编辑框1, .geometry = {16, 88, 328, 224},
           .look = {.edit = {.multiLine = true, .horizontalScroll = true, .verticalScroll = true}}),
          CONTROL(标签3, .geometry = {24, 320, 72, 48}, .look = {.caption = "提取密码："}),
          CONTROL(标签4, .geometry = {104, 320, 64, 48},
           .look = {.text = qRgb(0xFF, 0, 0), .fontPixels = 23, .bold = true, .overflow = Overflow::Narrow}),
          CONTROL(按钮1, .geometry = {168, 320, 176, 48}, .look = {.caption = "点击更新"}),
  };
  return table;
}

const WindowDef& updateDefinition() {
  static const WindowDef def = withControls(
      WindowDef{
          .name = MW_NAME(UpdateForm, 更新窗口),
          .title = "更新窗口v1.3",
          .size = {373, 409},
          .frame = Frame::FixedSingle,
          .centred = true,
      },
      updateControls());
  return def;
}

const WindowDef& tipDefinition() {
  static const WindowDef def{
      .name = MW_NAME(TipForm, 打赏窗口),
      .title = "",
      .size = {472, 415},
      .frame = Frame::Popup,
      .picture = "tip.jpg",
      .layout = Layout::CentredFit,
  };
  return def;
}

// clang-format on

#undef CONTROL

}  // namespace

UpdateForm::UpdateForm(const PictureSource& pictures) : built(updateDefinition(), pictures) {
  更新窗口 = built.window();
  fillMembers(*this, updateControls(), built);
  describeForTools(*this);
}

const WindowDef& UpdateForm::def() { return updateDefinition(); }

TipForm::TipForm(const PictureSource& pictures) : built(tipDefinition(), pictures) {
  打赏窗口 = built.window();
  describeForTools(*this);
}

const WindowDef& TipForm::def() { return tipDefinition(); }

QPoint centredOver(QRect outer, QSize inner) {
  const double left = outer.left() + outer.width() / 2.0 - inner.width() / 2.0;
  const double top = outer.top() + outer.height() / 2.0 - inner.height() / 2.0;
  return QPoint(int(left), int(top));  // int() truncates toward zero
}

}  // namespace mw::forms
