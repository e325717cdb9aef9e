#pragma once
// A top-level window of the program: title, background picture with its layout and colour,
// frame style, and loading (created event, then shown) and destroying.
#include <QWidget>
#include <optional>

#include "runtime/text.h"
#include "toolkit/picture.h"

namespace mw::toolkit {

enum class Frame {
  None,         // no caption, no border
  FixedSingle,  // fixed single border, title bar with system menu and minimise button
  Sizable,
};

class Window : public QWidget {
  Q_OBJECT
 public:
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
  // Runs the created event, then shows the window (non-modal), centred if so defined.
  void load();
  // Same, and waits until the window is closed.
  void loadModal();
  // Destroys (closes) the window; load() brings it back.
  void destroyWindow();
  bool loaded() const { return loaded_; }
  void minimise() { showMinimized(); }
  // Hands a press to the window system as a press on the caption: it moves the window.
  bool startSystemDrag();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  Placement placement() const;

  Frame frame_;
  Picture picture_;
  Layout layout_ = Layout::Natural;
  std::optional<QColor> background_;
  bool centred_ = false;
  bool loaded_ = false;
};

// Where a window of `size` stands centred on the primary screen's available area.
QPoint centredOnScreen(QSize size);

}  // namespace mw::toolkit
