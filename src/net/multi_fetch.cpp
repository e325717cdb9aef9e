#include "net/multi_fetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "net/fetch_request.h"

namespace mw::net {

void fetchPages(const TextArray& urls, const std::function<void(std::size_t, Bytes)>& onBody,
                std::size_t sideBySide) {
  sideBySide = std::max<std::size_t>(sideBySide, 1);
  Multi multi = newMulti();
  if (!multi) {
    for (std::size_t i = 0; i < urls.size(); ++i) onBody(i, {});
    return;
  }
  curl_multi_setopt(multi.get(), CURLMOPT_MAX_TOTAL_CONNECTIONS, long(sideBySide));
  curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, long(sideBySide));

  std::vector<std::unique_ptr<Transfer>> running(urls.size());
  std::size_t next = 0;
  // Starts the next downloads until eight run; reports at once those that cannot start.
  auto startMore = [&](std::size_t active) {
    std::size_t added = 0;
    while (next < urls.size() && active + added < sideBySide) {
      std::size_t i = next++;
      auto t = prepareFetch(urls[i], 0, {}, {});
      if (!t || !t->start(multi.get())) {
        onBody(i, {});
        continue;
      }
      t->index = i;
      running[i] = std::move(t);
      ++added;
    }
    return added;
  };

  std::size_t active = startMore(0);
  drive(multi.get(), active, [&](Transfer& t) {
    std::size_t i = t.index;
    Bytes body = finishFetch(t, {});
    running[i].reset();
    onBody(i, std::move(body));
    --active;
    std::size_t added = startMore(active);
    active += added;
    return added;
  });
}

}  // namespace mw::net
