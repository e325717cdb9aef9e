#pragma once
// A top-level window of the program: title, background picture with its layout and colour,
// frame style, and loading (created event, then shown) and destroying.
#include <QPointer>
#include <QWidget>
#include <optional>

#include "picture/picture.h"
#include "runtime/text.h"

namespace mw::toolkit {

using picture::Layout;
using picture::Picture;
using picture::Placement;

enum class Frame {
  None,         // no caption, no border
  FixedSingle,  // fixed single border, title bar with system menu and minimise button
  Sizable,
  Popup,  // no caption, no border; holds the keyboard while it shows, a click elsewhere closes it
};

class Window : public QWidget {
  Q_OBJECT
 public:
  // How long a loaded window waits to be activated before it counts as activated.
  static constexpr int kActivationGraceMs = 500;

  explicit Window(Frame frame = Frame::Sizable);

  Text title() const;
  void setTitle(const Text& title);
  const Bytes& picture() const { return picture_.bytes(); }
  void setPicture(Bytes bytes);
  Layout pictureLayout() const { return layout_; }
  void setPictureLayout(Layout layout);
  // Unset means the system's default window colour.
  QColor backgroundColour() const;
  void setBackgroundColour(std::optional<QColor> colour);
  Frame frame() const { return frame_; }
  const Picture& pictureView() const { return picture_; }

  // Centre on the screen when shown.
  void setCentredAtShow(bool on) { centred_ = on; }
  // The window this one stands on while both show: its transient parent, so that the window
  // system keeps it over the owner and places it from there (on Wayland the only way).
  void setOwner(Window* owner) { owner_ = owner; }
  // Runs the created event, then shows the window (non-modal), centred if so defined.
  void load();
  // Same, and waits until the window is closed.
  void loadModal();
  // Destroys (closes) the window; load() brings it back.
  void destroyWindow();
  bool loaded() const { return loaded_; }
  void minimise() { showMinimized(); }
  // After a press at `at` on `grip`, moving with the button held moves the window: the window
  // system's move, as from a caption, or where it cannot (no window manager, or one without
  // that support) the window following the pointer by hand.
  void startSystemDrag(QWidget* grip, QPoint at);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent*) override;
  bool focusNextPrevChild(bool next) override;

 private:
  Placement placement() const;

  Frame frame_;
  Picture picture_;
  Layout layout_ = Layout::Natural;
  std::optional<QColor> background_;
  bool centred_ = false;
  bool loaded_ = false;
  QPointer<Window> owner_;
  QPointer<QObject> drag_;
};

// What a fixed single border (3 pixels) and title bar (26) take of a window's outer size.
inline constexpr QSize kFixedSingleDecoration{6, 29};

// Where a window of `size` stands centred on the primary screen's available area.
QPoint centredOnScreen(QSize size);

}  // namespace mw::toolkit
