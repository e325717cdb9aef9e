#pragma once
// One handler at a time. A handler asked for while another runs (an event delivered by an
// event loop inside a load) waits until the running one has finished, then runs in order.
#include <deque>
#include <functional>

namespace mw::forms {

class HandlerGate {
 public:
  void run(std::function<void()> handler);
  bool busy() const { return busy_; }
  std::size_t waiting() const { return waiting_.size(); }

 private:
  bool busy_ = false;
  std::deque<std::function<void()>> waiting_;
};

}  // namespace mw::forms
