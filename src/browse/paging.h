#pragma once
// The paging bar's buttons serve the view of the current page of 选择夹1: the search results
// on the home page (0), the template list on the 编辑 page (1).
#include "forms/handler_registry.h"

namespace mw::browse {

// Binds 上一页, 下一页, 首页, 跳页_按钮 and Enter in 跳页_编辑框.
void bindPaging(forms::HandlerRegistry& registry);

void previousPage(const forms::Context& ctx);  // 上一页
void nextPage(const forms::Context& ctx);      // 下一页
void firstPage(const forms::Context& ctx);     // 首页
void jumpToPage(const forms::Context& ctx);    // 跳页_按钮
// Key down in 跳页_编辑框: Enter jumps when 跳页_按钮 is enabled.
void jumpBoxKeyDown(const forms::Context& ctx, int keyCode);

// The page number typed into 跳页_编辑框. Page 0 or less does not exist (an empty box reads
// as 0): the first page is taken instead, and the box says so.
double jumpTarget(forms::MainForm& form);

}  // namespace mw::browse
