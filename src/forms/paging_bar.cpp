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

void switchPagingState(MainForm& form, PagingState& state, PagingCommand command) {
  switch (command) {
    case PagingCommand::SaveHome:
      save(form, state.savedHomePaging);
      break;
    case PagingCommand::RestoreHome:
      restore(form, state.savedHomePaging);
      break;
    case PagingCommand::SaveEdit:
      save(form, state.savedEditPaging);
      break;
    case PagingCommand::RestoreEdit:
      restore(form, state.savedEditPaging);
      break;
  }
}

void hidePagingBar(MainForm& form, bool hide) {
  for (QWidget* w : std::initializer_list<QWidget*>{form.上一页, form.下一页, form.首页, form.显示页,
                                                    form.标签_记录, form.跳页_按钮, form.跳页_编辑框}) {
    w->setVisible(!hide);
  }
}

}  // namespace mw::forms
