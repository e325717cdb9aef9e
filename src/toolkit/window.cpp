#include "toolkit/window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "runtime/event_pump.h"
#include "toolkit/events.h"
#include "toolkit/qt_text.h"

namespace mw::toolkit {

Window::Window(Frame frame) : QWidget(nullptr), frame_(frame) {
  switch (frame) {
    case Frame::None:
      setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
      break;
    case Frame::FixedSingle:
      setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                     Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                     Qt::MSWindowsFixedSizeDialogHint);
      break;
    case Frame::Sizable:
      break;
  }
  setFocusPolicy(Qt::ClickFocus);
  connect(&picture_, &Picture::changed, this, qOverload<>(&QWidget::update));
}

Text Window::title() const { return fromQString(windowTitle()); }
void Window::setTitle(const Text& title) { setWindowTitle(toQString(title)); }

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
  if (auto& created = events(this).created) created();
  if (!loaded_) return;  // the created handler destroyed it
  if (frame_ == Frame::FixedSingle) setFixedSize(size());
  if (centred_) move(centredOnScreen(size()));
  show();
  raise();
  activateWindow();
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

bool Window::startSystemDrag() {
  QWindow* handle = windowHandle();
  return handle && handle->startSystemMove();
}

void Window::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), backgroundColour());
  picture_.paint(p);
}

void Window::resizeEvent(QResizeEvent*) { picture_.setPlacement(placement()); }

void Window::mousePressEvent(QMouseEvent* e) { e->accept(); }

void Window::closeEvent(QCloseEvent* e) {
  loaded_ = false;
  QWidget::closeEvent(e);
}

}  // namespace mw::toolkit
