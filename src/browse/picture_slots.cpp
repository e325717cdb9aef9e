#include "browse/picture_slots.h"

#include <vector>

#include "net/multi_fetch.h"

namespace mw::browse {
using net::fetchPages;

void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first) {
  TextArray wanted(boxes.size());
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const long long index = static_cast<long long>(first) + static_cast<long long>(k);  // 1-based
    if (index >= 1 && index <= static_cast<long long>(urls.size()))
      wanted[k] = urls[static_cast<std::size_t>(index - 1)];
  }
  fillBoxes({boxes.begin(), boxes.end()}, wanted);
}

void fillBoxes(const std::vector<toolkit::PictureBox*>& boxes, const TextArray& urls) {
  TextArray wanted;
  std::vector<toolkit::PictureBox*> boxOf;
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    if (k < urls.size() && !urls[k].empty()) {
      wanted.push_back(urls[k]);
      boxOf.push_back(boxes[k]);
    } else if (boxes[k]) {
      boxes[k]->setPicture({});
    }
  }
  net::fetchPages(
      wanted,
      [&](std::size_t i, Bytes bytes) {
        if (auto* box = boxOf[i]) box->setPicture(std::move(bytes));
      },
      wanted.size());
}

}  // namespace mw::browse
