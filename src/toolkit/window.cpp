#include "toolkit/window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "platform/qt_text.h"
#include "runtime/event_pump.h"
#include "toolkit/accessibility.h"
#include "toolkit/events.h"

namespace mw::toolkit {

Window::Window(Frame frame) : QWidget(nullptr), frame_(frame) {
  switch (frame) {
    case Frame::None:
      setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
      break;
    case Frame::FixedSingle:
      // A dialog: X11 names the owner (WM_TRANSIENT_FOR) only for dialogs and tools.
      setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                     Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                     Qt::MSWindowsFixedSizeDialogHint);
      break;
    case Frame::Sizable:
      break;
    case Frame::Popup:
      setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
      break;
  }
  setFocusPolicy(Qt::ClickFocus);
  connect(&picture_, &Picture::changed, this, qOverload<>(&QWidget::update));
}

Text Window::title() const { return platform::fromQString(windowTitle()); }
void Window::setTitle(const Text& title) { setWindowTitle(platform::toQString(title)); }

Placement Window::placement() const { return {rect(), layout_, devicePixelRatioF()}; }
void Window::setPicture(Bytes bytes) { picture_.setBytes(std::move(bytes), placement()); }
void Window::setPictureLayout(Layout layout) {
  layout_ = layout;
  picture_.setPlacement(placement());
  update();
}
QColor Window::backgroundColour() const { return background_.value_or(palette().color(QPalette::Window)); }
void Window::setBackgroundColour(std::optional<QColor> colour) {
  background_ = colour;
  update();
}

QPoint centredOnScreen(QSize size) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return QPoint();
  const QRect area = screen->availableGeometry();
  return QPoint(area.left() + (area.width() - size.width()) / 2,
                area.top() + (area.height() - size.height()) / 2);
}

void Window::load() {
  loaded_ = true;
  deliver(this, Event::Created);
  if (!loaded_) return;  // the created handler destroyed it
  // Only a sizable frame resizes: a skinned window would tile its skin.
  if (frame_ != Frame::Sizable) setFixedSize(size());
  if (centred_) move(centredOnScreen(size()));
  winId();
  windowHandle()->setTransientParent(owner_ && owner_->isVisible() ? owner_->windowHandle() : nullptr);
  show();
  // A popup takes the keyboard by itself, and leaves the activation with the window under it.
  if (frame_ != Frame::Popup) {
    raise();
    activateWindow();
  }
  // A desktop that keeps new windows from taking the focus, or an X server without a window
  // manager, may never activate it: its first activation comes anyway, a moment after.
  QTimer::singleShot(kActivationGraceMs, this, [this] {
    if (isVisible()) deliverFirstActivation(this);
  });
}

void Window::loadModal() {
  setWindowModality(Qt::ApplicationModal);
  load();
  if (!isVisible()) return;
  QEventLoop loop;
  while (isVisible() && !runtime::waitsAborted()) loop.processEvents(QEventLoop::WaitForMoreEvents);
  setWindowModality(Qt::NonModal);
}

void Window::destroyWindow() {
  loaded_ = false;
  close();
}

namespace {

// A press on a window's grip, until the button is released. The first move with the button
// held hands the drag to the window system; where it cannot take it, the window follows the
// pointer by hand. Only a move starts it: a window manager asked at the press may begin its move
// after a quick click's release and keep the window on the pointer with no button held. The grip
// keeps receiving the moves meanwhile: Qt grabs the mouse for the widget pressed.
class GripDrag : public QObject {
 public:
  GripDrag(QWidget* window, QWidget* grip, QPoint pressedGlobal)
      : QObject(grip), window_(window), offset_(pressedGlobal - window->pos()) {
    grip->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseMove) {
      auto* e = static_cast<QMouseEvent*>(event);
      if (!(e->buttons() & Qt::LeftButton)) {
        deleteLater();  // the release went elsewhere
        return false;
      }
      if (!byHand_) {
        QWindow* handle = window_->windowHandle();
        if (handle && handle->startSystemMove()) {
          deleteLater();
          return true;
        }
        byHand_ = true;
      }
      window_->move(e->globalPosition().toPoint() - offset_);
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) deleteLater();
    return false;
  }

 private:
  QWidget* window_;
  QPoint offset_;
  bool byHand_ = false;
};

}  // namespace

void Window::startSystemDrag(QWidget* grip, QPoint at) {
  delete drag_;
  drag_ = new GripDrag(this, grip, grip->mapToGlobal(at));
}

void Window::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), backgroundColour());
  picture_.paint(p);
}

void Window::resizeEvent(QResizeEvent*) { picture_.setPlacement(placement()); }

void Window::mousePressEvent(QMouseEvent* e) {
  e->accept();
  // A popup receives the presses made anywhere while it shows; one elsewhere dismisses it.
  if (frame_ == Frame::Popup && !rect().contains(e->position().toPoint())) close();
}

void Window::closeEvent(QCloseEvent* e) {
  // A popup that the window system closes (a press elsewhere, Escape, another window taking
  // the keyboard) has lost the focus.
  const bool dismissed = frame_ == Frame::Popup && loaded_;
  loaded_ = false;
  if (dismissed) deliver(this, Event::LostFocus);
  // A window left open over this one goes on by itself: Qt ends the program with the last
  // window that stands on no other, and the update window must outlive the main window.
  if (QWindow* handle = windowHandle()) {
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
      if (w->transientParent() == handle && w->isVisible()) w->setTransientParent(nullptr);
    }
  }
  QWidget::closeEvent(e);
}

// Tab follows the reading order of the interactive controls, labels that act on a press included.
bool Window::focusNextPrevChild(bool next) {
  return focusNextInReadingOrder(this, next) || QWidget::focusNextPrevChild(next);
}

}  // namespace mw::toolkit
