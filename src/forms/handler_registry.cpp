#include "forms/handler_registry.h"

#include <QAbstractButton>
#include <stdexcept>
#include <utility>

#include "platform/wait_pump.h"
#include "toolkit/controls.h"

namespace mw::forms {
namespace {

const QWidget* running = nullptr;

}  // namespace

const QWidget* runningHandlerControl() { return running; }

void HandlerRegistry::on(QWidget* control, toolkit::Event event, Handler handler) {
  // A click that waited for the gate counts only if its button is still enabled when it runs,
  // as a click delivered late by the window would.
  const bool button = event == toolkit::Event::Click && qobject_cast<QAbstractButton*>(control);
  auto run = [this, control, event, button, handler = std::move(handler)](const toolkit::Input& input) {
    auto call = [this, control, event, button, handler, input] {
      if (button && toolkit::isDisabledFlag(control)) return;
      ++runs_[{control, event}];
      const QWidget* outer = std::exchange(running, control);
      handler(context_, input);
      running = outer;
      if (after_) after_(context_);
    };
    // The chrome that works while a load waits runs at once, beside the handler that waits.
    // So does a window's created step: it belongs to the load that a handler asked for, and
    // must have run before the window shows.
    if (gate_.busy() && (event == toolkit::Event::Created || platform::liveDuringWaits(control))) {
      call();
    } else {
      gate_.run(std::move(call));
    }
  };
  if (!toolkit::bindEvent(control, event, std::move(run))) {
    throw std::logic_error("the " + std::string(toolkit::eventName(event)) + " event of " +
                           control->objectName().toStdString() + " is bound twice");
  }
}

void HandlerRegistry::run(PlainHandler handler) {
  gate_.run([this, handler = std::move(handler)] {
    handler(context_);
    if (after_) after_(context_);
  });
}

std::size_t HandlerRegistry::runs(const QWidget* control, toolkit::Event event) const {
  const auto it = runs_.find({control, event});
  return it == runs_.end() ? 0 : it->second;
}

void HandlerRegistry::on(QWidget* control, toolkit::Event event, PlainHandler handler) {
  on(control, event, [handler = std::move(handler)](const Context& c, const toolkit::Input&) { handler(c); });
}

}  // namespace mw::forms
