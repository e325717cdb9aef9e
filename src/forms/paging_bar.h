#pragma once
// The paging bar shared by the 主页 and 编辑 views: saving and restoring its button states per
// view, and showing or hiding it. Used by the page switching and by the edit sub-pages.
#include "forms/main_form.h"
#include "forms/program_state.h"

namespace mw::forms {

// Save stores the disabled flags of 上一页, 首页, 下一页, 跳页_按钮 for a view; restore sets
// them back.
enum class PagingCommand { SaveHome, RestoreHome, SaveEdit, RestoreEdit };
void switchPagingState(MainForm& form, PagingState& state, PagingCommand command);

// Hides the seven paging-bar controls, or shows them.
void hidePagingBar(MainForm& form, bool hide);

}  // namespace mw::forms
