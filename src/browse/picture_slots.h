#pragma once
// Fills a row of picture boxes from a list of picture addresses.
#include <array>

#include "runtime/text.h"
#include "toolkit/controls.h"

namespace mw::browse {

using SlotBoxes = std::array<toolkit::PictureBox*, 8>;

// Box k (0-based) shows item first + k (1-based) of `urls`. The downloads run side by side;
// each box shows its picture as soon as it has arrived, and the call returns when all eight
// are done. A failed download or an item beyond the list leaves its box with an empty picture.
void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first);

}  // namespace mw::browse
