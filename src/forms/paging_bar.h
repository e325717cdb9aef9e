#pragma once
// The paging bar shared by the 主页 and 编辑 views: saving and restoring its button states per
// view, and showing or hiding it. Used by the page switching and by the edit sub-pages.
#include "forms/main_form.h"
#include "forms/program_state.h"

namespace mw::forms {

// "首页保存" / "编辑页保存" store the disabled flags of 上一页, 首页, 下一页, 跳页_按钮;
// "首页恢复" / "编辑页恢复" set them back. Any other marker does nothing.
void switchPagingState(MainForm& form, PagingState& state, const Text& marker);

// 1 hides the seven paging-bar controls; any other value shows them.
void hidePagingBar(MainForm& form, int flag);

}  // namespace mw::forms
