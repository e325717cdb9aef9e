#include "browse/new_pictures.h"

#include <algorithm>

#include "browse/picture_slots.h"
#include "runtime/markers.h"

namespace mw::browse {

TextArray newPictureUrls(const Text& page) {
  TextArray pieces;
  runtime::textBetweenAll(page, "type=\"text/javascript\">document.getElementById", "</span></a></LI>",
                          pieces);
  TextArray urls;
  for (const Text& piece : pieces)
    urls.push_back(runtime::textBetween(piece, ").src = \"", "\"; </script><LI><", 1, true));
  return urls;
}

void requestNewPictures(const forms::Context& ctx, net::Exchanges& exchanges) {
  exchanges.page(ctx.sites.searchBase() + "/a/new/", [ctx = &ctx, exchanges = &exchanges](Text page) {
    const TextArray urls = newPictureUrls(page);
    // The copy action reads the eight shown; fewer found leave empty addresses.
    TextArray& shown = ctx->state.search.searchShownUrls;
    shown.assign(8, Text());
    std::copy_n(urls.begin(), std::min<std::size_t>(urls.size(), shown.size()), shown.begin());
    requestPictureBoxes(*exchanges, ctx->main.searchBoxes(), urls, 1);
  });
}

}  // namespace mw::browse
