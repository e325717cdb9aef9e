#pragma once
// Binds every handler of the program, each to one event of one control. A handler runs with
// the context, and only one runs at a time (see HandlerGate).
#include <functional>
#include <map>
#include <utility>

#include "forms/context.h"
#include "forms/handler_gate.h"
#include "toolkit/events.h"

namespace mw::forms {

class HandlerRegistry {
 public:
  using Handler = std::function<void(const Context&, const toolkit::Input&)>;
  using PlainHandler = std::function<void(const Context&)>;

  explicit HandlerRegistry(const Context& context) : context_(context) {}
  HandlerRegistry(const HandlerRegistry&) = delete;
  HandlerRegistry& operator=(const HandlerRegistry&) = delete;

  // Binds `handler` to `event` of `control`. A second binding of the same event on the same
  // control is a mistake in the program: it throws std::logic_error naming both.
  void on(QWidget* control, toolkit::Event event, Handler handler);
  void on(QWidget* control, toolkit::Event event, PlainHandler handler);

  const Context& context() const { return context_; }
  // Runs `handler` as a bound handler runs (after the one running now, if any), for what comes
  // from outside the windows: a command, the tray.
  void run(PlainHandler handler);
  // Runs after every handler, to follow what handlers change.
  void afterEachHandler(PlainHandler observer) { after_ = std::move(observer); }
  const HandlerGate& gate() const { return gate_; }
  // How often the handler of that event of that control has run.
  std::size_t runs(const QWidget* control, toolkit::Event event) const;

 private:
  Context context_;
  HandlerGate gate_;
  PlainHandler after_;
  std::map<std::pair<const QWidget*, toolkit::Event>, std::size_t> runs_;
};

// The control whose handler is running (the innermost, when one runs inside another), or nullptr.
const QWidget* runningHandlerControl();

}  // namespace mw::forms
