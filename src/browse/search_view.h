#pragma once
// The 主页 page's keyword search: 搜索 and 搜索框.
#include "forms/handler_registry.h"

namespace mw::browse {

void bindSearchView(forms::HandlerRegistry& registry);

}  // namespace mw::browse
