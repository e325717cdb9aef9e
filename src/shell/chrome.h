#pragma once
// The main window's own chrome: the drag strip, the minimise/close strip with its hover look,
// the three page buttons, focus on a background press and the group link.
#include "forms/handler_registry.h"

namespace mw::shell {

// Zones of the 84 x 41 minimise/close strip, x and y relative to it.
enum class StripZone { None, Minimise, Close };
StripZone hoverZone(int x, int y);
StripZone pressZone(int x, int y);

// Said at the pointer when no browser takes an address the program opens.
inline const Text kBrowserFailedTip = "无法打开浏览器"_gbk;

// What the chrome shows: the skin of each page and the three looks of the strip.
struct ChromePictures {
  Bytes skinHome, skinEdit, skinFavourites;
  Bytes stripNormal, stripCloseHot, stripMinimiseHot;
};
ChromePictures chromePictures(const forms::PictureSource& source);

// 主页, 编辑 and 收藏 pressed: the page shown, with its skin, and the paging bar's states saved
// for the view left and restored for the view entered.
void pressHome(const forms::Context& ctx, const ChromePictures& pictures);
void pressEdit(const forms::Context& ctx, const ChromePictures& pictures);
void pressFavourites(const forms::Context& ctx, const ChromePictures& pictures);
// 窗口控制按钮: the look of the zone under the pointer, on every move; a press closes or
// minimises.
void stripMoved(const forms::Context& ctx, const ChromePictures& pictures, const toolkit::Input& in);
void stripPressed(const forms::Context& ctx, const ChromePictures& pictures, const toolkit::Input& in);
// 窗口位置拖动 pressed: the system moves the window while the button is held.
void dragWindow(const forms::Context& ctx, const toolkit::Input& in);
// The main window's own background pressed: the focus leaves the edit boxes.
void focusMainWindow(const forms::Context& ctx);
// 标签_检查更新1 pressed: the group link in the web browser.
void openGroupLink(const forms::Context& ctx);

void bindChrome(forms::HandlerRegistry& registry, const forms::PictureSource& pictures);

}  // namespace mw::shell
