#include "browse/search.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "browse/paging.h"
#include "browse/picture_slots.h"
#include "browse/template_list.h"
#include "forms/notices.h"
#include "net/encoding.h"
#include "net/web_request.h"
#include "platform/desktop.h"
#include "runtime/markers.h"
#include "toolkit/controls.h"

namespace mw::browse {
using net::urlEncode;
using net::webRequest;
using runtime::fromInteger;
using runtime::textBetween;
using runtime::textBetweenAll;
using runtime::toInteger;
namespace {

// Markers of the search site's result pages.
const Text kCountStart = "<td>共找到<b>"_gbk;
const Text kCountEnd = "</b>条记录"_gbk;
// The pager of result page 1: "首页", the current page 1, then the link to page 2.
const Text kLinkStart = "首页</td>\r\n<td>1&nbsp;</td>\r\n<td><a href='"_gbk;
const Text kLinkEnd = "2'>";
const Text kSnippetStart = "title=\"";
const Text kSnippetEnd = "\"; </script>";
const Text kPictureStart = "src = \"";

constexpr long long kMaxSitePages = std::numeric_limits<int>::max() / 2;

Text pageCaption(const forms::SearchState& s, long long page) {
  return fromInteger(page) + "/" + fromInteger(2LL * s.searchSitePageCount);
}

// Items first .. first + 7 of the held result page into 图片框1..8. An item the page does not
// have shows as an empty picture and an empty address.
void showResults(const forms::Context& ctx, int first) {
  auto& s = ctx.state.search;
  fillPictureBoxes(ctx.main.searchBoxes(), s.searchImageUrls, first);
  s.searchShownUrls.assign(8, Text());
  for (int k = 0; k < 8; ++k) {
    const std::size_t index = static_cast<std::size_t>(first + k);  // 1-based
    if (index >= 1 && index <= s.searchImageUrls.size()) s.searchShownUrls[k] = s.searchImageUrls[index - 1];
  }
}

// The snippets of a result page and the picture address of each.
void readResults(forms::SearchState& s, const Text& page) {
  textBetweenAll(page, kSnippetStart, kSnippetEnd, s.searchItems, true, 0, {}, {}, false, true, 1);
  for (const Text& snippet : s.searchItems) {
    s.searchImageUrls.push_back(textBetween(snippet, kPictureStart, kSnippetEnd, 1, true));
  }
}

void loadResults(const forms::Context& ctx, const Text& address) {
  ctx.state.search.searchImageUrls.clear();
  ctx.state.search.searchItems.clear();
  readResults(ctx.state.search, webRequest(address));
}

void loadFromLink(const forms::Context& ctx, long long sitePage) {
  // Without a link to page 2 (one result page) there is no address to build: the base with a
  // number glued to its host would reach some other server.
  if (ctx.state.search.searchPageLinkPrefix.empty()) {
    ctx.state.search.searchImageUrls.clear();
    ctx.state.search.searchItems.clear();
    return;
  }
  loadResults(ctx, ctx.sites.searchBase() + ctx.state.search.searchPageLinkPrefix + fromInteger(sitePage));
}

void loadFromQuery(const forms::Context& ctx) {
  loadResults(ctx, searchQueryAddress(ctx.sites.searchBase(), ctx.main.搜索框->text()));
}

void setPreviousAndFirst(const forms::MainForm& f, bool enabled) {
  f.上一页->setEnabled(enabled);
  f.首页->setEnabled(enabled);
}

// What the box shows until it is first focused: the placeholder, or the library's progress.
bool showsPlaceholder(const forms::Context& ctx, const Text& content) {
  return content == kSearchPlaceholder ||
         (ctx.state.search.searchBoxState == forms::SearchBoxState::Placeholder &&
          content.starts_with(kLibraryProgress));
}

}  // namespace

void showLibraryProgress(const forms::Context& ctx, int done, int total, bool waiting) {
  const Text progress = done < total ? kLibraryProgress + fromInteger(done) + "/" + fromInteger(total) +
                                           (waiting ? kLibraryWaiting : Text())
                                     : Text();
  // Until the box is first focused its placeholder is its content; afterwards an empty box
  // shows the progress greyed.
  if (ctx.state.search.searchBoxState == forms::SearchBoxState::Placeholder)
    ctx.main.搜索框->setText(progress.empty() ? kSearchPlaceholder : progress);
  ctx.main.搜索框->setHint(progress);
}

Text searchQueryAddress(const Text& searchBase, const Text& keyword) {
  return searchBase +
         "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=" + urlEncode(keyword, true, false);
}

void prepareSearch(const forms::Context& ctx) {
  ctx.state.search.searchSitePage = 1;
  ctx.state.search.searchBoxState = forms::SearchBoxState::Placeholder;
  ctx.main.搜索->setFocus();
  ctx.main.搜索框->setText(kSearchPlaceholder);
}

void removeSearchPlaceholder(const forms::Context& ctx) {
  if (ctx.state.search.searchBoxState == forms::SearchBoxState::Typed) return;
  ctx.main.搜索框->setText({});
  ctx.main.搜索框->setTextColour(QColor(0x00, 0x00, 0x00));
  ctx.state.search.searchBoxState = forms::SearchBoxState::Typed;
}

void runSearch(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.search;
  s.searchPage = 1;
  f.首页->setDisabled(true);
  f.上一页->setDisabled(true);
  f.下一页->setDisabled(true);
  f.跳页_按钮->setDisabled(true);

  const Text keyword = f.搜索框->text();
  if (keyword.empty() || showsPlaceholder(ctx, keyword)) {
    showMessage(ctx, kNoKeywordMessage);
    f.搜索框->setFocus();
  } else {
    s.searchImageUrls.clear();
    s.searchItems.clear();
    s.searchSitePage = 1;
    const Text page = webRequest(searchQueryAddress(ctx.sites.searchBase(), keyword));
    const long long count = toInteger(textBetween(page, kCountStart, kCountEnd));
    s.searchPageLinkPrefix = textBetween(page, kLinkStart, kLinkEnd);
    // Two views per site page, numbered in int: a page announcing more results than that
    // pages through as many as it can.
    s.searchSitePageCount = static_cast<int>(std::clamp(count / 20, 0LL, kMaxSitePages));
    s.searchRecordCaption = "共找到"_gbk + fromInteger(count) + "张图片"_gbk;
    f.标签_记录->setCaption(s.searchRecordCaption);
    // Two full views of nine need 19 results; the page count (by 20) may still read 0 then.
    if (static_cast<double>(count) / 9.0 - 2.0 > forms::kTolerance) {
      f.下一页->setEnabled(true);
      f.跳页_按钮->setEnabled(true);
    }
    readResults(s, page);
    // A few matches are shown too, the boxes past them empty; only a page without any is "no
    // matching data".
    if (!s.searchItems.empty()) {
      showResults(ctx, 1);
    } else {
      showNoMatches(ctx);
    }
  }
  f.显示页->setCaption(pageCaption(s, s.searchPage));
}

void searchPreviousPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.search;
  if (s.searchPage % 2 != 0) {
    // Back to the second half of the previous site page; site page 1 is the query itself.
    s.searchSitePage -= 1;
    if (s.searchSitePage < 2) {
      loadFromQuery(ctx);
    } else {
      loadFromLink(ctx, s.searchSitePage);
    }
    showResults(ctx, 10);
  } else {
    showResults(ctx, 1);
  }
  s.searchPage -= 1;
  f.下一页->setEnabled(true);
  f.显示页->setCaption(pageCaption(s, s.searchPage));
  if (s.searchPage == 1) setPreviousAndFirst(f, false);
}

void searchNextPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.search;
  if (s.searchPage % 2 != 0) {
    showResults(ctx, 10);
  } else {
    s.searchImageUrls.clear();
    s.searchItems.clear();
    s.searchSitePage += 1;
    // Past the last site page nothing is loaded and the pictures stay.
    if (s.searchSitePageCount >= s.searchSitePage) {
      loadFromLink(ctx, s.searchSitePage);
      showResults(ctx, 1);
    }
  }
  s.searchPage += 1;
  if (s.searchPage == 2 * s.searchSitePageCount) f.下一页->setDisabled(true);
  f.显示页->setCaption(pageCaption(s, s.searchPage));
  setPreviousAndFirst(f, s.searchPage >= 2);
}

void searchFirstPage(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.search;
  s.searchPage = 1;
  s.searchSitePage = 1;
  loadFromQuery(ctx);
  showResults(ctx, 1);
  f.显示页->setCaption(pageCaption(s, 1));
  setPreviousAndFirst(f, false);
}

void searchJump(const forms::Context& ctx) {
  auto& f = ctx.main;
  auto& s = ctx.state.search;
  double target = jumpTarget(f);
  const long long last = 2LL * s.searchSitePageCount;
  if (last < 1) {
    // Fewer results than one site page: no page to go to but the first, which the query holds
    // (clamped to the last, the target would be page 0 of site page 0).
    f.跳页_编辑框->setText("1");
    searchFirstPage(ctx);
    return;
  }
  if (target - static_cast<double>(last) > forms::kTolerance) {
    f.跳页_编辑框->setText(fromInteger(last));
    target = static_cast<double>(last);
    s.searchSitePage = s.searchSitePageCount;
    loadFromLink(ctx, std::llround(target / 2));
    showResults(ctx, 10);
  } else {
    const long long sitePage = std::llround(target / 2);  // half away from zero: 3 -> 2
    s.searchSitePage = static_cast<int>(sitePage);
    loadFromLink(ctx, sitePage);
    showResults(ctx, std::fabs(std::fmod(target, 2.0)) > forms::kTolerance ? 1 : 10);
  }
  s.searchPage = static_cast<int>(toInteger(f.跳页_编辑框->text()));
  f.下一页->setEnabled(s.searchPage != last);
  f.显示页->setCaption(pageCaption(s, s.searchPage));
  if (s.searchPage > 1) setPreviousAndFirst(f, true);
  if (s.searchPage == 1) setPreviousAndFirst(f, false);
}

void bindSearch(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  registry.on(f.搜索, Event::LeftDown, runSearch);
  registry.on(f.搜索框, Event::KeyDown, [](const forms::Context& ctx, const toolkit::Input& in) {
    if (in.keyCode == toolkit::kEnterKey) runSearch(ctx);
  });
  registry.on(f.搜索框, Event::GotFocus, removeSearchPlaceholder);
}

}  // namespace mw::browse
