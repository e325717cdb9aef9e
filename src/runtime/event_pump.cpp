#include "runtime/event_pump.h"

#include <atomic>
#include <thread>
#include <utility>

namespace mw::runtime {
namespace {
std::function<void()>& pumpSlot() {
  static std::function<void()> pump;
  return pump;
}
std::atomic<std::thread::id> pumpThread;
std::atomic<bool> aborted{false};
}  // namespace

void setEventPump(std::function<void()> pump) {
  pumpSlot() = std::move(pump);
  pumpThread = std::this_thread::get_id();
}

void pumpEvents() {
  // Window events belong to the thread that installed the pump; a request made on another
  // thread waits without them.
  if (std::this_thread::get_id() != pumpThread) return;
  if (auto& pump = pumpSlot()) pump();
}

void setWaitsAborted(bool on) { aborted = on; }
bool waitsAborted() { return aborted; }

}  // namespace mw::runtime
