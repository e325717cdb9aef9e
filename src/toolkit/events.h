#pragma once
// Events of a control, delivered with the arguments the handlers take: pointer position
// relative to the control (and modifiers) for button and move events, the key code for key
// down, nothing for the others. A handler is bound by assigning to the control's Events.
#include <QObject>
#include <QPoint>
#include <functional>

class QWidget;

namespace mw::toolkit {

struct Pointer {
  int x = 0;
  int y = 0;
  Qt::KeyboardModifiers modifiers;
};

struct Events {
  std::function<void(const Pointer&)> leftDown;
  std::function<void(const Pointer&)> rightDown;
  std::function<void(const Pointer&)> mouseMove;
  std::function<void(int keyCode)> keyDown;
  std::function<void()> click;
  std::function<void()> created;
  std::function<void()> firstActivation;
  std::function<void()> gotFocus;
  std::function<void()> lostFocus;
};

// The events of `control`, created on first use. Binding mouseMove turns on mouse tracking.
Events& events(QWidget* control);
// The events bound on `control` so far, or nullptr when none ever were; creates nothing.
const Events* boundEvents(const QWidget* control);

// Deliver the events of `source` (an inner widget filling the control) as the control's own,
// with positions mapped to the control.
void forwardEvents(QWidget* control, QWidget* source);

// Key code of the handlers (13 for Enter, 27 for Escape, 'A'..'Z', '0'..'9', ...) for a Qt key.
int keyCode(int qtKey);

class EventBinder : public QObject {
  Q_OBJECT
 public:
  explicit EventBinder(QWidget* control);
  Events events;
  bool activatedOnce = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* control_;
};

}  // namespace mw::toolkit
