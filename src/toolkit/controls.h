#pragma once
// The control kinds of the windows, on Qt widgets. Texts cross in GBK; common properties
// (position, size, visible, disabled, cursor) are the QWidget's own, with the helpers below.
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QWidget>
#include <optional>

#include "picture/picture.h"
#include "platform/desktop.h"
#include "runtime/text.h"

class QLineEdit;
class QPlainTextEdit;

namespace mw::toolkit {

// The picture property and its layouts are the controls' own.
using picture::DisplayMode;
using picture::Layout;
using picture::Picture;
using picture::Placement;

enum class Border { None = 0, Sunken = 1, Single = 5 };
enum class HAlign { Left = 0, Centre = 1, Right = 2 };
enum class VAlign { Top = 0, Centre = 1, Bottom = 2 };
// What a one-line label does with a caption wider than itself.
enum class Overflow { Cut, Narrow, ElideMiddle };

// The control's own flags, independent of its ancestors.
inline bool isShownFlag(const QWidget* w) { return !w->isHidden(); }
inline bool isDisabledFlag(const QWidget* w) { return w->testAttribute(Qt::WA_ForceDisabled); }
// The tag property every control carries.
Text tag(const QWidget* w);
void setTag(QWidget* w, const Text& value);
// Character height in pixels, as the fonts of the forms are given.
QFont pixelFont(const QFont& base, int pixelHeight, bool bold);

class Label : public QWidget {
  Q_OBJECT
 public:
  explicit Label(QWidget* parent = nullptr);

  Text caption() const;
  void setCaption(const Text& caption);
  const Bytes& picture() const { return picture_.bytes(); }
  void setPicture(Bytes bytes);
  Layout pictureLayout() const { return layout_; }
  void setPictureLayout(Layout layout);
  Border border() const { return border_; }
  void setBorder(Border border);
  QColor textColour() const { return text_; }
  void setTextColour(QColor colour);
  // Unset means the system's button-face colour.
  QColor backgroundColour() const;
  void setBackgroundColour(std::optional<QColor> colour);
  void setAlignment(HAlign h, VAlign v);
  HAlign horizontalAlignment() const { return h_; }
  VAlign verticalAlignment() const { return v_; }
  void setWordWrap(bool on);
  bool wordWrap() const { return wrap_; }
  // Narrowed, every letter stays; elided in the middle, the caption is also the tool tip.
  void setOverflow(Overflow overflow);
  const Picture& pictureView() const { return picture_; }
  // The area inside the border, where the picture and caption go.
  QRect clientRect() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  Placement placement() const;

  QString caption_;
  Picture picture_;
  Layout layout_ = Layout::Natural;
  Border border_ = Border::None;
  QColor text_{Qt::black};
  std::optional<QColor> background_;
  HAlign h_ = HAlign::Left;
  VAlign v_ = VAlign::Centre;
  bool wrap_ = false;
  Overflow overflow_ = Overflow::Cut;
};

// Draws its caption only, never a background; catches the presses over it.
class TransparentLabel : public QWidget {
  Q_OBJECT
 public:
  explicit TransparentLabel(QWidget* parent = nullptr);
  Text caption() const;
  void setCaption(const Text& caption);
  QColor textColour() const { return text_; }
  void setTextColour(QColor colour);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QString caption_;
  QColor text_{Qt::black};
};

class Button : public QPushButton {
  Q_OBJECT
 public:
  explicit Button(QWidget* parent = nullptr);
  Text caption() const;
  void setCaption(const Text& caption);
};

struct EditOptions {
  bool multiLine = false;
  bool horizontalScroll = false;
  bool verticalScroll = false;
  bool integerOnly = false;
  Border border = Border::Sunken;
};

class EditBox : public QWidget {
  Q_OBJECT
 public:
  explicit EditBox(QWidget* parent = nullptr, EditOptions options = {});
  Text text() const;
  void setText(const Text& text);
  void setTextColour(QColor colour);
  void setBackgroundColour(QColor colour);
  QColor textColour() const;
  QColor backgroundColour() const;
  // Greyed text an empty box shows.
  void setHint(const Text& hint);
  Text hint() const;
  const EditOptions& options() const { return options_; }
  // The Qt editor inside (a QLineEdit, or a QPlainTextEdit when multi-line).
  QWidget* editor() const;

 protected:
  void resizeEvent(QResizeEvent*) override;

 private:
  EditOptions options_;
  QLineEdit* line_ = nullptr;
  QPlainTextEdit* multi_ = nullptr;
};

class PictureBox : public QWidget {
  Q_OBJECT
 public:
  explicit PictureBox(QWidget* parent = nullptr);
  const Bytes& picture() const { return picture_.bytes(); }
  void setPicture(Bytes bytes);
  DisplayMode mode() const { return mode_; }
  void setMode(DisplayMode mode);
  Border border() const { return border_; }
  void setBorder(Border border);
  QColor backgroundColour() const { return background_; }
  void setBackgroundColour(QColor colour);
  const Picture& pictureView() const { return picture_; }
  QRect clientRect() const;
  // Where the picture is drawn now (empty when there is none).
  QRect shownRect() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  Placement placement() const;

  Picture picture_;
  DisplayMode mode_ = DisplayMode::Natural;
  Border border_ = Border::None;
  QColor background_{Qt::white};
};

class GroupBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit GroupBox(QWidget* parent = nullptr);
  Text caption() const;
  void setCaption(const Text& caption);
};

class ComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit ComboBox(QWidget* parent = nullptr);
  Text currentItemText() const;
  void setCurrentItemText(const Text& text);
  void setItems(const TextArray& items);
};

// One page of a tab control: holds the page's controls.
class TabPage : public QWidget {
  Q_OBJECT
 public:
  explicit TabPage(QWidget* parent = nullptr);
};

// A tab control without a tab header: a stack of pages sharing one origin, drawing no
// background of its own so the window's skin shows through.
class TabControl : public QStackedWidget {
  Q_OBJECT
 public:
  explicit TabControl(QWidget* parent = nullptr);
  QWidget* addPage();
  QWidget* page(int index) const { return widget(index); }
  int currentPage() const { return currentIndex(); }
  void setCurrentPage(int index) { setCurrentIndex(index); }

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

// A press asks the desktop given for a colour; without one it does nothing.
class ColourPicker : public QWidget {
  Q_OBJECT
 public:
  explicit ColourPicker(QWidget* parent = nullptr);
  QColor colour() const { return colour_; }
  void setColour(QColor colour);
  void useDesktop(platform::Desktop& desktop) { desktop_ = &desktop; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QColor colour_{Qt::black};
  platform::Desktop* desktop_ = nullptr;
};

// The open-file common dialog: no body of its own, asks the desktop for a path.
class OpenFileDialog : public QObject {
  Q_OBJECT
 public:
  explicit OpenFileDialog(QWidget* owner);
  Text filter() const { return filter_; }
  void setFilter(const Text& filter) { filter_ = filter; }
  // The path chosen in `desktop`'s dialog, or nullopt when cancelled. Also kept as fileName().
  std::optional<Text> showOpen(platform::Desktop& desktop);
  Text fileName() const { return fileName_; }

 private:
  QWidget* owner_;
  Text filter_;
  Text fileName_;
};

// The hidden web-browser control. There is no browser: a GIF copy places its file on the
// clipboard itself (actions/clipboard.h), so the control only holds its place in the window.
class WebBrowser : public QWidget {
  Q_OBJECT
 public:
  explicit WebBrowser(QWidget* parent = nullptr);
};

}  // namespace mw::toolkit
