#pragma once
// The main window, program state and a scripted desktop for the list tests.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/handler_parts.h"
#include "toolkit/controls.h"

namespace mw::test {

class ListFixture : public ::testing::Test {
 protected:
  // The context with every site at `base`.
  const forms::Context& context(const std::string& base) {
    parts.sites = sitesAt(base);
    return parts.context;
  }

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
  std::vector<Text> messages() const { return parts.messages(); }
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

  HandlerParts parts;
  forms::MainForm& form = parts.main;
  forms::ProgramState& state = parts.state;
};

}  // namespace mw::test
