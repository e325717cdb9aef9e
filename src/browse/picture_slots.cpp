#include "browse/picture_slots.h"

namespace mw::browse {

void fillPictureBoxes(const SlotBoxes& boxes, const TextArray& urls, int first) {
  net::Exchanges exchanges;
  requestPictureBoxes(exchanges, boxes, urls, first);
  exchanges.wait();
}

void requestPictureBoxes(net::Exchanges& exchanges, const SlotBoxes& boxes, const TextArray& urls,
                         int first) {
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    toolkit::PictureBox* box = boxes[k];
    const long long index = static_cast<long long>(first) + static_cast<long long>(k);  // 1-based
    const bool listed = index >= 1 && index <= static_cast<long long>(urls.size());
    const Text& url = listed ? urls[static_cast<std::size_t>(index - 1)] : Text();
    if (url.empty()) {
      if (box) box->setPicture({});
      continue;
    }
    exchanges.picture(url, [box](Bytes bytes) {
      if (box) box->setPicture(std::move(bytes));
    });
  }
}

}  // namespace mw::browse
