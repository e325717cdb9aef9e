#include "toolkit/pointer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSinglePointEvent>
#include <QWidget>
#include <QWindow>

namespace mw::toolkit {
namespace {

// Follows the pointer events that reach the program's native windows.
class PointerWatch : public QObject {
 public:
  explicit PointerWatch(QObject* parent) : QObject(parent) {}

  QPointer<QWindow> window;  // the window under the pointer, when one of ours
  QPoint place;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Enter:
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        if (auto* w = qobject_cast<QWindow*>(watched)) {
          window = w;
          place = static_cast<QSinglePointEvent*>(event)->globalPosition().toPoint();
        }
        break;
      case QEvent::Leave:
        if (watched == window) window = nullptr;
        break;
      default:
        break;
    }
    return false;
  }
};

QPointer<PointerWatch>& watch() {
  static QPointer<PointerWatch> instance;
  return instance;
}

void installPointerWatch() {
  watch() = new PointerWatch(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(watch());
}

Q_COREAPP_STARTUP_FUNCTION(installPointerWatch)

}  // namespace

std::optional<QPoint> pointerOver(const QWidget* window) {
  const PointerWatch* w = watch();
  if (!w || !w->window || !window->isVisible()) return std::nullopt;
  const QWindow* handle = window->windowHandle();
  if (!handle || (w->window != handle && w->window->transientParent() != handle)) return std::nullopt;
  if (!window->frameGeometry().contains(w->place)) return std::nullopt;
  return w->place;
}

}  // namespace mw::toolkit
