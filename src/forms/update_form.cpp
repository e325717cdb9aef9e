#include "forms/update_form.h"

#include <type_traits>

#include "forms/spoken_names.h"

namespace mw::forms {
namespace {

using namespace mw::toolkit;

// The definition reads as a table, one control per entry.
// clang-format off
const WindowDef& updateDefinition() {
  static const WindowDef def{
      .name = "更新窗口",
      .title = "更新窗口v1.3",
      .size = {373, 409},
      .frame = Frame::FixedSingle,
      .centred = true,
      .controls = {
          {.kind = Kind::Label, .name = "标签1", .geometry = {56, 8, 240, 40}, .look = {.h = HAlign::Centre}},
          {.kind = Kind::Label, .name = "标签2", .geometry = {8, 56, 96, 32}, .look = {.caption = "更新内容："}},
          {.kind = Kind::EditBox, .name = "编辑框1", .geometry = {16, 88, 328, 224},
           .look = {.edit = {.multiLine = true, .horizontalScroll = true, .verticalScroll = true}}},
          {.kind = Kind::Label, .name = "标签3", .geometry = {24, 320, 72, 48}, .look = {.caption = "提取密码："}},
          {.kind = Kind::Label, .name = "标签4", .geometry = {104, 320, 64, 48},
           .look = {.text = qRgb(0xFF, 0, 0), .fontPixels = 23, .bold = true}},
          {.kind = Kind::Button, .name = "按钮1", .geometry = {168, 320, 176, 48}, .look = {.caption = "点击更新"}},
      }};
  return def;
}

const WindowDef& tipDefinition() {
  static const WindowDef def{
      .name = "打赏窗口",
      .title = "",
      .size = {472, 415},
      .frame = Frame::None,
      .picture = "tip.jpg",
      .layout = Layout::CentredFit,
  };
  return def;
}

// clang-format on

}  // namespace

#define MW_BIND(member) member = built.get<std::remove_pointer_t<decltype(member)>>(#member)

UpdateForm::UpdateForm(const PictureSource& pictures) : built(updateDefinition(), pictures) {
  更新窗口 = built.window();
  MW_BIND(标签1);
  MW_BIND(标签2);
  MW_BIND(编辑框1);
  MW_BIND(标签3);
  MW_BIND(标签4);
  MW_BIND(按钮1);
  describeForTools(*this);
}

#undef MW_BIND

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
