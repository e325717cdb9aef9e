#pragma once
// The update window 更新窗口: the version line, the update notes and the download share, opened
// from 标签_更新 while it offers a newer version (and by start-up).
#include "forms/handler_registry.h"

namespace mw::shell {

// A field of the home site page: the text between the first two occurrences of its marker.
Text homeSiteField(const Text& page, const Text& marker);

// The program's own version: the last three characters of a window title.
Text ownVersion(const Text& title);

// Loads the update window, or brings it to the front and fills it again when it is open.
void loadUpdateWindow(const forms::Context& ctx);

void bindUpdateWindow(forms::HandlerRegistry& registry);

}  // namespace mw::shell
