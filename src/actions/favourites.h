#pragma once
// The favourites folder: a right click on 图片框1..图片框16 saves the picture into it; the 收藏
// page opens the folder and changes it, remembering the choice in MW_scdz.ini.
#include "forms/handler_registry.h"

namespace mw::actions {

// The clock favourites are named by: milliseconds from 1970-01-01 08:00 local time (the Unix
// time on a computer set to UTC+8).
long long favouriteClockMs();
// The name of a picture saved at `clockMs` of that clock: the seconds, then the milliseconds in
// three digits ("1700000000123"); a clock before the origin counts as 0.
Text favouriteFileName(long long clockMs);

// Writes the picture's bytes unchanged into `folder` as favouriteFileName(clockMs) + ".jpg",
// stepping a millisecond at a time past names already taken: nothing is ever replaced. The
// path written, or empty when nothing could be written.
Text saveFavourite(const Text& folder, const Bytes& picture, long long clockMs);

// What saving and the folder buttons say.
inline const Text kUnknownPictureTip = "图片数据无法识别，未能保存"_gbk;
inline const Text kSavedTip = "图片已存至收藏目录"_gbk;
inline const Text kSaveFailedTip = "图片保存失败，请检查收藏目录"_gbk;
inline const Text kCannotOpenFolderTip = "无法打开收藏目录"_gbk;
inline const Text kUnstorableFolderMessage = "所选目录的路径含有无法保存的字符，请选择其他目录"_gbk;
inline const Text kSettingsNotWrittenMessage = "设置文件写入失败，新目录仅本次有效"_gbk;

// The right click on 图片框`box` (1..16).
void saveToFavourites(const forms::Context& ctx, int box);
// 更改收藏目录: the folder dialog; a cancel, or a folder whose path the GBK settings file cannot
// hold (refused with a message), changes nothing.
void changeFavouritesFolder(const forms::Context& ctx);
// 打开收藏目录: the folder in the file manager.
void openFavouritesFolder(const forms::Context& ctx);

// Binds the saves and the two buttons of the 收藏 page.
void bindFavourites(forms::HandlerRegistry& registry);

}  // namespace mw::actions
