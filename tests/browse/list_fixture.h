#pragma once
// The main window, program state and a scripted desktop for the list tests.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "browse/browse_context.h"
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "support/form_pictures.h"
#include "toolkit/controls.h"
#include "toolkit/desktop.h"

namespace mw::test {

class ListFixture : public ::testing::Test {
 protected:
  browse::BrowseContext context(const std::string& base) { return {form, state, base, {}}; }

  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (int k = 9; k <= 16; ++k) out.push_back(form.slot(k)->picture());
    return out;
  }
  // What the eight boxes hold when they show items first..first+7 (empty past `count`).
  static std::vector<std::string> expected(const std::function<std::string(int)>& bytesOf, int first,
                                           int count = 1 << 30) {
    std::vector<std::string> out;
    for (int i = first; i < first + 8; ++i) out.push_back(i <= count ? bytesOf(i) : std::string());
    return out;
  }
  std::vector<Text> messages() const {
    std::vector<Text> out;
    for (const auto& c : desk.calls)
      if (c.what == "messageBox") out.push_back(c.text);
    return out;
  }
  // Disabled flags of 上一页, 首页, 下一页, 跳页_按钮.
  std::vector<int> disabled() const {
    std::vector<int> out;
    for (const QWidget* w : {static_cast<QWidget*>(form.上一页), static_cast<QWidget*>(form.首页),
                             static_cast<QWidget*>(form.下一页), static_cast<QWidget*>(form.跳页_按钮)})
      out.push_back(toolkit::isDisabledFlag(w) ? 1 : 0);
    return out;
  }
  void setBoxes(const std::string& prefix) {
    for (int k = 9; k <= 16; ++k) form.slot(k)->setPicture(prefix + std::to_string(k));
  }

  forms::MainForm form{mw::test::formPicture};
  forms::ProgramState state;
  toolkit::ScriptedDesktop desk;
  toolkit::DesktopOverride useDesk{desk};
};

}  // namespace mw::test
