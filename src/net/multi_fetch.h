#pragma once
// Side-by-side downloads with fetchPage's request rules.
#include <cstddef>
#include <functional>

#include "runtime/text.h"

namespace mw::net {

inline constexpr std::size_t kMaxSideBySide = 8;

// Fetches every address as fetchPage(url) would, up to `sideBySide` (at least one) at once
// over reused connections. `onBody(index, bytes)` runs for each address as soon as its
// download ends (so in completion order; empty bytes for a failure); returns once all have
// been reported. Window events are pumped while waiting.
void fetchPages(const TextArray& urls, const std::function<void(std::size_t, Bytes)>& onBody,
                std::size_t sideBySide = kMaxSideBySide);

}  // namespace mw::net
