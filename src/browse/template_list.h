#pragma once
// The template lists of the 编辑 page: loading the latest and the all-templates list, parsing
// one list page, and showing eight of the held thumbnails in 图片框9..图片框16.
#include <functional>

#include "forms/handler_registry.h"
#include "net/web_request.h"
#include "runtime/text.h"

namespace mw::browse {

// Binds the two list sources, 网络最新编辑 and 网络所有编辑.
void bindTemplateList(forms::HandlerRegistry& registry);

// Said while a list loads, and when a list page holds no templates.
inline const Text kBusyTip = "正在搜索数据请稍候..."_gbk;
inline const Text kNoMatchesMessage = "没有匹配数据"_gbk;

// A list page with fewer items than this counts as empty.
inline constexpr int kMinListItems = 9;

// Block markers of the two lists.
Text allListBlockStart();
Text allListBlockEnd();
Text latestListBlockStart();
Text latestListBlockEnd();

// The items of a list page: the block between the markers, percent-decoded as UTF-8, split
// into items (each ending with its end marker).
TextArray listPageItems(const Text& page, const Text& blockStart, const Text& blockEnd);

// Appends base + the src value of every item to `urls` (the bare base for an item without one).
void appendThumbnailUrls(const TextArray& items, const Text& base, TextArray& urls);

// The latest-templates list: its address, its items, and the record caption and page count
// for that many items (a tenth of them, in pages of nine).
Text latestListUrl(const Text& base);
TextArray latestListItems(const Text& page);
Text latestListCaption(std::size_t items);
int latestListPageCount(std::size_t items);

// All-templates list page K: the first page's own address, or the "?pn=" address.
Text allListUrl(const Text& base, int sitePage, bool firstPageAddress);

// Empties listImageUrls, fetches the all-templates page, and fills listImageUrls from it.
// A page that counts as empty gives kNoMatchesMessage and false.
bool loadListSitePage(const forms::Context& ctx, int sitePage, bool firstPageAddress);

// Makes the latest list the one the 编辑 page holds: its view label drawn selected, no jumping,
// mode 最新 on page 1, no addresses held yet.
void selectLatestList(const forms::Context& ctx);

// Asks `exchanges` for the latest list, beside whatever else runs there; the caller waits.
// Once the page is in, the list state takes its count and caption, then `onList(shown)` runs
// (`shown`: it has enough items); a shown list's addresses are held and its first eight
// thumbnails go out on the same exchanges, each shown in 图片框9..图片框16 as it arrives.
void requestLatestList(const forms::Context& ctx, net::Exchanges& exchanges,
                       std::function<void(bool shown)> onList);

// Left press on 网络最新编辑.
void loadLatestList(const forms::Context& ctx);
// Left press on 网络所有编辑.
void loadAllList(const forms::Context& ctx);

// Slot k (1..8) shows item first + k - 1 of listImageUrls; a missing item shows nothing.
void showListPictures(const forms::Context& ctx, int first);

// kNoMatchesMessage in a message box.
void showNoMatches(const forms::Context& ctx);

}  // namespace mw::browse
