#pragma once
// Start-up: the main window's created step, and the start-up step at its first activation
// (the network probe, the usage count, the home site's fields and the version offer, both
// picture pages, and the favourites folder).
#include <memory>

#include "forms/handler_registry.h"
#include "net/site_settings.h"
#include "net/warm_up.h"

namespace mw::shell {

// What start-up says: while it runs, when a newer version is there, and when the settings
// file is missing or cannot take the default favourites folder.
inline const Text kStartingTip = "软件初始化中..."_gbk;
inline const Text kNewerVersionQuestion = "发现新版本，是否进入下载界面？"_gbk;
inline const Text kSettingsMissingMessage = "未找到MW_scdz.ini文件，收藏目录已恢复默认"_gbk;
inline const Text kUnstorableProgramFolderMessage =
    "程序目录的路径含有无法保存的字符，收藏目录仅本次有效"_gbk;
inline const Text kDefaultNotWrittenMessage = "设置文件写入失败，默认目录仅本次有效"_gbk;

// Whether the probe page could be fetched and carries the probe marker.
bool checkNetwork(const forms::Context& ctx);

// The probe page's address.
Text probeAddress(const net::SiteSettings& sites);

// Opens the connections start-up will need and sends its probe, so that both are under way
// while the window is being built; checkNetwork takes that probe's answer. Kept until the
// program ends; start-up closes the connections it did not take.
std::unique_ptr<net::PathWarmUp> warmPath(const net::SiteSettings& sites);

// The usage count shown for an announcement page.
Text usageCount(const Text& announcementPage);

// Whether a newer version is offered: `own` sorts before `latest` byte by byte.
bool newerVersion(const Text& own, const Text& latest);

// The main window's first activation: the network probe, then online the home site, the
// version offer and both picture pages, offline the local source only; then the favourites
// folder from the settings file, `markerGif` put in it.
void startUp(const forms::Context& ctx, const Bytes& markerGif);

// `pictures` give the marker picture start-up puts in the favourites folder.
void bindStartUp(forms::HandlerRegistry& registry, const forms::PictureSource& pictures);

}  // namespace mw::shell
