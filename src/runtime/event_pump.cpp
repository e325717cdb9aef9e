#include "runtime/event_pump.h"

#include <utility>

namespace mw::runtime {
namespace {
std::function<void()>& pumpSlot() {
  static std::function<void()> pump;
  return pump;
}
bool aborted = false;
}  // namespace

void setEventPump(std::function<void()> pump) { pumpSlot() = std::move(pump); }

void pumpEvents() {
  if (auto& pump = pumpSlot()) pump();
}

void setWaitsAborted(bool on) { aborted = on; }
bool waitsAborted() { return aborted; }

}  // namespace mw::runtime
