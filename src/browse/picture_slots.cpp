#include "browse/picture_slots.h"

#include <vector>

#include "net/multi_fetch.h"

namespace mw::browse {
using net::fetchPages;

void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first) {
  TextArray wanted;
  std::vector<std::size_t> boxOf;
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const long long index = static_cast<long long>(first) + static_cast<long long>(k);  // 1-based
    if (index >= 1 && index <= static_cast<long long>(urls.size())) {
      wanted.push_back(urls[static_cast<std::size_t>(index - 1)]);
      boxOf.push_back(k);
    } else if (boxes[k]) {
      boxes[k]->setPicture({});
    }
  }
  fetchPages(wanted, [&](std::size_t i, Bytes bytes) {
    if (auto* box = boxes[boxOf[i]]) box->setPicture(std::move(bytes));
  });
}

}  // namespace mw::browse
