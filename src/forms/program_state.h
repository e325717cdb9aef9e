#pragma once
// The program-wide variables shared by the handlers, one struct per view. All start as 0, the
// empty text or an empty array when the program starts, or as what such an empty value means.
#include <array>
#include <functional>

#include "runtime/text.h"

namespace mw::forms {

// The pages of 选择夹1, in order.
enum class Page : int { Home = 0, Edit = 1, Favourites = 2, Online = 3, Local = 4 };

// Disabled flags (1 disabled, 0 enabled) of 上一页, 首页, 下一页, 跳页_按钮.
using PagingFlags = std::array<int, 4>;

// Page switching: what the shared paging bar held in each view, and where 编辑 returns to.
struct PagingState {
  // The edit-area page 编辑 returns to: 网络制作 or 本地制作, anything else meaning 编辑.
  Page lastEditPage = Page::Edit;
  PagingFlags savedHomePaging{};
  PagingFlags savedEditPaging{};
};

// What 搜索框 shows; the numbers are the ones the created step stores.
enum class SearchBoxState : int { Unset = 0, Placeholder = 1, Typed = 2 };

// The keyword search of the 主页 page.
struct SearchState {
  int searchPage = 0;
  int searchSitePageCount = 0;
  int searchSitePage = 0;
  SearchBoxState searchBoxState = SearchBoxState::Unset;
  TextArray searchItems;
  TextArray searchImageUrls;
  TextArray searchShownUrls;  // the addresses shown in 图片框1..图片框8
  Text searchPageLinkPrefix;
  Text searchRecordCaption;
};

// Which template list the 编辑 page holds: none before the first load, the latest templates or
// all of them.
enum class ListMode { Unset, Latest, All };

// The template list of the 编辑 page.
struct TemplateListState {
  ListMode listMode = ListMode::Unset;
  int listPage = 0;
  int listPageCount = 0;
  int listSitePage = 0;
  int listSlotBase = 0;
  TextArray listImageUrls;
  Text listRecordCaption;
};

// What the home site said: the newest version and its notes, the group link, and the share
// the update window offers.
struct UpdateState {
  Text latestVersion;
  Text updateNotes;
  Text groupLink;
  Text shareId;
  Text sharePassword;
  // 标签_更新 offers the newer version (drawn blue, as a link): a press on it opens the update
  // window. Set by start-up when the user declines the offer.
  bool updateOffered = false;
};

struct FavouritesState {
  Text favouritesFolder;
  // Told the path of each picture a right click saved (the shared collection uploads it).
  std::function<void(const Text&)> saved;
};

// The 网络制作 page: the template last opened and how many caption lines it has.
struct MakePageState {
  int selectedTemplate = 0;  // 1-based index into listImageUrls
  int captionLineCount = 0;  // 1 to 4 once a template was opened
  Text openedTemplate;       // thumbnail address of the template whose lines the page shows
};

// The local caption editor of the 本地制作 page. The picture, the text's place, caption, font and
// colour are the controls' own and stay on them while the page is left.
struct EditorState {
  Text editorFile;      // full path of the opened picture
  int editorWidth = 0;  // display size of the picture
  int editorHeight = 0;
  double editorAspect = 0;  // height / width of the opened picture; 0 before the first one
};

// What the program's own settings turn on for the handlers.
struct SettingsState {
  bool hideAfterCopy = false;  // a left-click copy hides the main window once its tip has shown
};

struct ProgramState {
  PagingState paging;
  SearchState search;
  TemplateListState list;
  UpdateState update;
  FavouritesState favourites;
  MakePageState make;
  EditorState editor;
  SettingsState settings;
};

}  // namespace mw::forms
