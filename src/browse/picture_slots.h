#pragma once
// Fills a row of picture boxes from a list of picture addresses.
#include "forms/main_form.h"
#include "net/web_request.h"
#include "runtime/text.h"

namespace mw::browse {

using SlotBoxes = forms::PictureBoxes;

// Box k (0-based) shows item first + k (1-based) of `urls`. The downloads run side by side;
// each box shows its picture as soon as it has arrived, and the call returns when all eight
// are done. A failed download or an item beyond the list leaves its box with an empty picture.
void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first);

// As fillPictureBoxes, but the downloads are asked for on `exchanges`, beside whatever else
// runs there, and the caller waits. An empty address leaves its box empty without a request.
void requestPictureBoxes(net::Exchanges& exchanges, const SlotBoxes& boxes, const TextArray& urls, int first);

}  // namespace mw::browse
