#include "forms/paging_bar.h"

#include "toolkit/controls.h"

namespace mw::forms {
namespace {

std::array<QWidget*, 4> pagingButtons(const MainForm& f) { return {f.上一页, f.首页, f.下一页, f.跳页_按钮}; }

void save(const MainForm& form, PagingFlags& into) {
  const auto buttons = pagingButtons(form);
  for (size_t i = 0; i < buttons.size(); ++i) into[i] = toolkit::isDisabledFlag(buttons[i]) ? 1 : 0;
}

void restore(MainForm& form, const PagingFlags& from) {
  const auto buttons = pagingButtons(form);
  for (size_t i = 0; i < buttons.size(); ++i) buttons[i]->setDisabled(from[i] != 0);
}

}  // namespace

void switchPagingState(MainForm& form, PagingState& state, const Text& marker) {
  if (marker == "首页保存"_gbk) {
    save(form, state.savedHomePaging);
  } else if (marker == "首页恢复"_gbk) {
    restore(form, state.savedHomePaging);
  } else if (marker == "编辑页保存"_gbk) {
    save(form, state.savedEditPaging);
  } else if (marker == "编辑页恢复"_gbk) {
    restore(form, state.savedEditPaging);
  }
}

void hidePagingBar(MainForm& form, int flag) {
  const bool show = flag != 1;
  for (QWidget* w : std::initializer_list<QWidget*>{form.上一页, form.下一页, form.首页, form.显示页,
                                                    form.标签_记录, form.跳页_按钮, form.跳页_编辑框}) {
    w->setVisible(show);
  }
}

}  // namespace mw::forms
