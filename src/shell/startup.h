#pragma once
// Start-up: the main window's created step, and the start-up step at its first activation
// (the network probe, the usage count, the home site's fields and the version offer, both
// picture pages, and the favourites folder).
#include <memory>

#include "forms/handler_registry.h"
#include "net/site_settings.h"
#include "net/warm_up.h"

namespace mw::shell {

// Whether the probe page could be fetched and carries the probe marker.
bool checkNetwork(const forms::Context& ctx);

// The probe page's address.
Text probeAddress(const net::SiteSettings& sites);

// Opens the connections start-up will need and sends its probe, so that both are under way
// while the window is being built; checkNetwork takes that probe's answer. Kept until the
// program ends.
std::unique_ptr<net::PathWarmUp> warmPath(const net::SiteSettings& sites);

// The usage count shown for an announcement page.
Text usageCount(const Text& announcementPage);

// Whether a newer version is offered: `own` sorts before `latest` byte by byte.
bool newerVersion(const Text& own, const Text& latest);

// `pictures` give the marker picture start-up puts in the favourites folder.
void bindStartUp(forms::HandlerRegistry& registry, const forms::PictureSource& pictures);

}  // namespace mw::shell
