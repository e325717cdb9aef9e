#pragma once
// Keyword search on the 主页 page: the search box with its placeholder, the query to the search
// site, and paging through the results eight pictures at a time in 图片框1..图片框8.
//
// Each search-site result page shows as two pages here: an odd page q shows items 1-8 of site
// page ceil(q/2), an even page items 10-17 of site page q/2.
#include "forms/handler_registry.h"
#include "runtime/text.h"

namespace mw::browse {

// Binds 搜索 (a press searches), 搜索框 (Enter searches; the focus takes the placeholder away).
void bindSearch(forms::HandlerRegistry& registry);

// What 搜索框 shows until it first gets the focus, and how it begins while the picture library
// reads its pictures.
inline const Text kSearchPlaceholder = "输入两到三个关键字，如“Memwick”"_gbk;
inline const Text kLibraryProgress = "图库整理中 "_gbk;
inline const Text kLibraryWaiting = "（识字暂停，稍后重试）"_gbk;
// Said when a search has no keyword.
inline const Text kNoKeywordMessage = "请输入配图的内容"_gbk;

// The query address for a keyword: its GBK bytes percent-encoded, letters, digits, "-" and "."
// kept.
Text searchQueryAddress(const Text& searchBase, const Text& keyword);

// The main window's created step for the search: site page 1, placeholder state, focus on 搜索.
void prepareSearch(const forms::Context& ctx);

// 搜索框 got the focus: the placeholder goes, once; afterwards the box keeps what is typed.
void removeSearchPlaceholder(const forms::Context& ctx);

// A press on 搜索 or Enter in 搜索框.
void runSearch(const forms::Context& ctx);

// While the picture library reads its pictures (`done` of `total`), 搜索框's placeholder says
// how far it is, and when reading `waiting` for its helper; once it is done, what it always said.
void showLibraryProgress(const forms::Context& ctx, int done, int total, bool waiting = false);

// The paging bar's actions while the 主页 page is shown.
void searchPreviousPage(const forms::Context& ctx);
void searchNextPage(const forms::Context& ctx);
void searchFirstPage(const forms::Context& ctx);
void searchJump(const forms::Context& ctx);

}  // namespace mw::browse
