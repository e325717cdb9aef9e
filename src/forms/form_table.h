#pragma once
// Window definitions that write each control's name once: an entry names the form member the
// built control fills, and the control's name and kind follow from that member, so the
// compiler checks both.
#include <type_traits>
#include <vector>

#include "toolkit/balloon_tip.h"
#include "toolkit/form_builder.h"

namespace mw::forms {

template <typename T>
constexpr toolkit::Kind kindOf() {
  using namespace toolkit;
  if constexpr (std::is_same_v<T, Label>)
    return Kind::Label;
  else if constexpr (std::is_same_v<T, TransparentLabel>)
    return Kind::TransparentLabel;
  else if constexpr (std::is_same_v<T, Button>)
    return Kind::Button;
  else if constexpr (std::is_same_v<T, EditBox>)
    return Kind::EditBox;
  else if constexpr (std::is_same_v<T, PictureBox>)
    return Kind::PictureBox;
  else if constexpr (std::is_same_v<T, GroupBox>)
    return Kind::GroupBox;
  else if constexpr (std::is_same_v<T, ComboBox>)
    return Kind::ComboBox;
  else if constexpr (std::is_same_v<T, TabControl>)
    return Kind::TabControl;
  else if constexpr (std::is_same_v<T, ColourPicker>)
    return Kind::ColourPicker;
  else if constexpr (std::is_same_v<T, OpenFileDialog>)
    return Kind::OpenFileDialog;
  else if constexpr (std::is_same_v<T, BalloonTip>)
    return Kind::BalloonTip;
  else if constexpr (std::is_same_v<T, WebBrowser>)
    return Kind::WebBrowser;
  else
    static_assert(!sizeof(T), "not a control kind");
}

template <auto Member>
struct MemberOf;
template <class Form, class T, T* Form::*Member>
struct MemberOf<Member> {
  using FormType = Form;
  using Control = T;
};

template <class Form>
struct FormControl {
  toolkit::ControlDef def;
  void (*fill)(Form&, QObject*);
};

template <auto Member>
void fillMember(typename MemberOf<Member>::FormType& form, QObject* made) {
  // The builder made the kind this entry's member holds.
  form.*Member = static_cast<typename MemberOf<Member>::Control*>(made);
}

// The window's definition with the controls of the table.
template <class Form>
toolkit::WindowDef withControls(toolkit::WindowDef window, const std::vector<FormControl<Form>>& table) {
  for (const FormControl<Form>& c : table) window.controls.push_back(c.def);
  return window;
}

// Fills every member of the table from the window built from it.
template <class Form>
void fillMembers(Form& form, const std::vector<FormControl<Form>>& table, const toolkit::BuiltWindow& built) {
  for (std::size_t i = 0; i < table.size(); ++i) table[i].fill(form, built.control(i));
}

}  // namespace mw::forms

// A member's name as a string, checked by the compiler: for a window's or a parent's name.
#define MW_NAME(Form, member) (static_cast<void>(&Form::member), #member)
// One table entry: the member it fills, then the rest of its ControlDef (parent onwards).
#define MW_CONTROL(Form, member, ...)                                              \
  ::mw::forms::FormControl<Form> {                                                 \
    {.kind = ::mw::forms::kindOf<::mw::forms::MemberOf<&Form::member>::Control>(), \
     .name = #member,                                                              \
     __VA_ARGS__},                                                                 \
        &::mw::forms::fillMember<&Form::member>                                    \
  }
