#pragma once
// Paging of the template list view (page 1 of 选择夹1) on the list state: 9 items per page of
// which 8 are shown; in all mode 5 pages per template-site list page.
#include "forms/context.h"

namespace mw::browse {

void listPreviousPage(const forms::Context& ctx);
void listNextPage(const forms::Context& ctx);
void listFirstPage(const forms::Context& ctx);
// Jumps to the page number in 跳页_编辑框.
void listJumpToPage(const forms::Context& ctx);

}  // namespace mw::browse
