#pragma once
// The 编辑 page's template list: its two source labels and the paging bar, which serves the
// view of the page shown.
#include "forms/handler_registry.h"

namespace mw::browse {

void bindListView(forms::HandlerRegistry& registry);

}  // namespace mw::browse
