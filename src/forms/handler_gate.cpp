#include "forms/handler_gate.h"

#include <utility>

namespace mw::forms {

void HandlerGate::run(std::function<void()> handler) {
  if (busy_) {
    waiting_.push_back(std::move(handler));
    return;
  }
  busy_ = true;
  handler();
  while (!waiting_.empty()) {
    auto next = std::move(waiting_.front());
    waiting_.pop_front();
    next();
  }
  busy_ = false;
}

}  // namespace mw::forms
