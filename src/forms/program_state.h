#pragma once
// The program-wide variables shared by the handlers. All start as 0, the empty text or an
// empty array when the program starts.
#include <array>

#include "runtime/text.h"

namespace mw::forms {

struct ProgramState {
  Text lastEditPage;                     // which edit-area page the 编辑 button returns to
  std::array<int, 4> savedHomePaging{};  // disabled flags of 上一页, 首页, 下一页, 跳页_按钮
  std::array<int, 4> savedEditPaging{};
  Text latestVersion;
  Text updateNotes;
  Text groupLink;
  Text listMode;  // "最新" or "所有"
  int listPage = 0;
  int listPageCount = 0;
  int listSitePage = 0;
  int listSlotBase = 0;
  TextArray listImageUrls;
  Text listRecordCaption;
  int searchPage = 0;
  int searchSitePageCount = 0;
  int searchSitePage = 0;
  int searchBoxState = 0;
  TextArray searchItems;
  TextArray searchImageUrls;
  TextArray searchShownUrls;
  Text searchPageLinkPrefix;
  Text searchRecordCaption;
  Text favouritesFolder;
};

}  // namespace mw::forms
