#pragma once
// Events of a control, delivered with what the handlers take: the pointer position relative
// to the control (and modifiers) for button and move events, the key code for key down,
// nothing for the others. Each event of a control has at most one handler.
#include <QObject>
#include <QPoint>
#include <array>
#include <functional>

class QWidget;

namespace mw::toolkit {

enum class Event {
  LeftDown,
  RightDown,
  MouseMove,
  KeyDown,
  Click,
  Created,
  FirstActivation,
  GotFocus,
  LostFocus
};
inline constexpr std::size_t kEventKinds = 9;
const char* eventName(Event event);

struct Pointer {
  int x = 0;
  int y = 0;
  Qt::KeyboardModifiers modifiers;
};

struct Input {
  Pointer at;       // button and move events
  int keyCode = 0;  // key down
};

using Handler = std::function<void(const Input&)>;

// Binds the handler of one event of `control`. False, leaving the first binding in place,
// when that event already has a handler. Binding mouse moves turns on mouse tracking.
bool bindEvent(QWidget* control, Event event, Handler handler);
bool isBound(const QWidget* control, Event event);
// Runs the bound handler as the event would; false when there is none.
bool deliver(QWidget* control, Event event, const Input& input = {});
// The first activation of a window, unless it has had it already.
void deliverFirstActivation(QWidget* window);
// Whether the window has had its first activation (its handler may still be running).
bool hadFirstActivation(const QWidget* window);

// Deliver the events of `source` (an inner widget filling the control) as the control's own,
// with positions mapped to the control.
void forwardEvents(QWidget* control, QWidget* source);

// Key codes of the handlers.
inline constexpr int kEnterKey = 13;
inline constexpr int kEscapeKey = 27;
// Key code of the handlers ('A'..'Z', '0'..'9', the constants above, ...) for a Qt key.
int keyCode(int qtKey);

class EventBinder : public QObject {
  Q_OBJECT
 public:
  explicit EventBinder(QWidget* control);
  std::array<Handler, kEventKinds> handlers;
  bool activatedOnce = false;
  // Runs the handler of `event`; false when there is none.
  bool run(Event event, const Input& input = {});
  void activateOnce();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* control_;
};

}  // namespace mw::toolkit
