#pragma once
// What runs while a handler waits (for a request, a decode, a long loop): the windows keep
// painting, timers and decoded pictures arrive, and the controls marked live take input at
// once, so that the window chrome can close, minimise and move the window during a load. All
// other user input is held back and delivered in the order it came once no wait is running
// any more, so that no handler starts in the middle of another (mend 1). When the
// application quits, every wait is aborted.
#include <cstddef>

class QWidget;

namespace mw::platform {

// Installs itself as the event pump of runtime::pumpEvents for its lifetime.
class WaitPump {
 public:
  WaitPump();
  ~WaitPump();
  WaitPump(const WaitPump&) = delete;
  WaitPump& operator=(const WaitPump&) = delete;

  // Input events held back now.
  std::size_t held() const;
};

// Marks `control`, and everything on it, as taking input while a handler waits.
void setLiveDuringWaits(QWidget* control);
bool liveDuringWaits(const QWidget* widget);

}  // namespace mw::platform
