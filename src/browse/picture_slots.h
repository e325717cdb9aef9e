#pragma once
// Fills a row of picture boxes from a list of picture addresses.
#include <array>
#include <vector>

#include "forms/main_form.h"
#include "runtime/text.h"
#include "toolkit/controls.h"

namespace mw::browse {

using SlotBoxes = forms::PictureBoxes;

// Box k (0-based) shows item first + k (1-based) of `urls`. The downloads run side by side;
// each box shows its picture as soon as it has arrived, and the call returns when all eight
// are done. A failed download or an item beyond the list leaves its box with an empty picture.
void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first);

// Box k shows the picture at address k; all downloads run side by side, otherwise as above.
// An empty address leaves its box empty without a request.
void fillBoxes(const std::vector<toolkit::PictureBox*>& boxes, const TextArray& urls);

}  // namespace mw::browse
