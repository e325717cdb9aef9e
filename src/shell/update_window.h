#pragma once
// The update window 更新窗口: the version line, the update notes and the download share, opened
// from 标签_更新 while it offers a newer version (and by start-up).
#include "forms/handler_registry.h"

namespace mw::shell {

// A field of the home site page: the text between the first two occurrences of its marker.
Text homeSiteField(const Text& page, const Text& marker);

// The program's own version: the last three characters of a window title.
Text ownVersion(const Text& title);

// The button's message begins so; the share's password follows.
inline const Text kSharePasswordMessage = "提取密码为："_gbk;

// Loads the update window, or brings it to the front and fills it again when it is open.
void loadUpdateWindow(const forms::Context& ctx);

// 更新窗口 created, each time it loads: the version line, the share and the notes, fetched anew.
void updateWindowCreated(const forms::Context& ctx);
// 标签_更新 pressed: the update window, only while the label offers a newer version.
void updateLabelPressed(const forms::Context& ctx);
// 按钮1 clicked: the share's password in a message box, then the share in the web browser.
void updateButtonClicked(const forms::Context& ctx);

void bindUpdateWindow(forms::HandlerRegistry& registry);

}  // namespace mw::shell
