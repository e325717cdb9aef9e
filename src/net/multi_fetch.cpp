#include "net/multi_fetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "net/fetch_request.h"

namespace mw::net {

void fetchPages(const TextArray& urls, const std::function<void(std::size_t, Bytes)>& onBody,
                std::size_t sideBySide) {
  sideBySide = std::max<std::size_t>(sideBySide, 1);
  Batch batch;
  std::vector<std::unique_ptr<Transfer>> running(urls.size());
  std::size_t next = 0, active = 0;
  // Starts the next downloads until `sideBySide` run; reports at once those that cannot start.
  auto startMore = [&] {
    while (next < urls.size() && active < sideBySide) {
      std::size_t i = next++;
      auto t = prepareFetch(urls[i], 0, {}, {});
      if (!t || !batch.start(*t)) {
        onBody(i, {});
        continue;
      }
      t->index = i;
      running[i] = std::move(t);
      ++active;
    }
  };

  startMore();
  batch.drive([&](Transfer& t) {
    std::size_t i = t.index;
    Bytes body = finishFetch(t, {});
    running[i].reset();
    onBody(i, std::move(body));
    --active;
    startMore();
  });
}

}  // namespace mw::net
