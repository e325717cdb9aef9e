#pragma once
// The search site's list of new pictures, whose first eight fill the 主页 page at start-up.
#include "forms/context.h"
#include "net/web_request.h"
#include "runtime/text.h"

namespace mw::browse {

// The picture addresses of a new-pictures page, in page order.
TextArray newPictureUrls(const Text& page);

// Asks `exchanges` for the list, beside whatever else runs there; the caller waits. Once it is
// in, its first eight pictures go out on the same exchanges, each shown in 图片框1..图片框8 as it
// arrives (a box without one is emptied), and searchShownUrls holds their addresses.
void requestNewPictures(const forms::Context& ctx, net::Exchanges& exchanges);

}  // namespace mw::browse
