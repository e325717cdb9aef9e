#include "toolkit/controls.h"

#include <qdrawutil.h>

#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <utility>

#include "platform/desktop.h"
#include "platform/qt_text.h"
#include "toolkit/accessibility.h"
#include "toolkit/events.h"

namespace mw::toolkit {
using platform::fromQString;
using platform::toQString;
namespace {

int borderWidth(Border b) {
  switch (b) {
    case Border::None:
      return 0;
    case Border::Sunken:
      return 2;
    case Border::Single:
      return 1;
  }
  return 0;
}

void drawBorder(QPainter& p, const QWidget* w, Border b) {
  const QRect r = w->rect();
  if (b == Border::Sunken) {
    qDrawWinPanel(&p, r, w->palette(), true);
  } else if (b == Border::Single) {
    p.save();
    p.setPen(QColor(0xA0, 0xA0, 0xA0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.restore();
  }
}

// Windows line ends in captions; Qt breaks lines at "\n" alone.
QString displayText(const QString& caption) {
  QString s = caption;
  s.remove(u'\r');
  return s;
}

int alignmentFlags(HAlign h, VAlign v, bool wrap) {
  int flags = h == HAlign::Left ? Qt::AlignLeft : h == HAlign::Centre ? Qt::AlignHCenter : Qt::AlignRight;
  if (wrap) return flags | Qt::AlignTop | Qt::TextWordWrap;
  flags |= v == VAlign::Top ? Qt::AlignTop : v == VAlign::Centre ? Qt::AlignVCenter : Qt::AlignBottom;
  return flags | Qt::TextSingleLine;
}

}  // namespace

Text tag(const QWidget* w) { return fromQString(w->property("mw_tag").toString()); }
void setTag(QWidget* w, const Text& value) { w->setProperty("mw_tag", toQString(value)); }

QFont pixelFont(const QFont& base, int pixelHeight, bool bold) {
  QFont f = base;
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

// ---- Label

Label::Label(QWidget* parent) : QWidget(parent) {
  connect(&picture_, &Picture::changed, this, qOverload<>(&QWidget::update));
}

Text Label::caption() const { return fromQString(caption_); }
void Label::setCaption(const Text& caption) {
  const QString before = std::exchange(caption_, toQString(caption));
  if (overflow_ == Overflow::ElideMiddle) setToolTip(caption_);
  update();
  if (caption_ != before) announceCaption(this, before, caption_);
}
void Label::setPicture(Bytes bytes) {
  const bool wasEmpty = picture_.empty();
  picture_.setBytes(std::move(bytes), placement());
  if (picture_.empty() != wasEmpty) announceNameChange(this);
}
void Label::setPictureLayout(Layout layout) {
  layout_ = layout;
  picture_.setPlacement(placement());
  update();
}
void Label::setBorder(Border border) {
  border_ = border;
  picture_.setPlacement(placement());
  update();
}
void Label::setTextColour(QColor colour) {
  text_ = colour;
  update();
}
QColor Label::backgroundColour() const { return background_.value_or(palette().color(QPalette::Button)); }
void Label::setBackgroundColour(std::optional<QColor> colour) {
  background_ = colour;
  update();
}
void Label::setAlignment(HAlign h, VAlign v) {
  h_ = h;
  v_ = v;
  update();
}
void Label::setWordWrap(bool on) {
  wrap_ = on;
  update();
}
void Label::setOverflow(Overflow overflow) {
  overflow_ = overflow;
  setToolTip(overflow_ == Overflow::ElideMiddle ? caption_ : QString());
  update();
}
QRect Label::clientRect() const {
  const int b = borderWidth(border_);
  return rect().adjusted(b, b, -b, -b);
}
Placement Label::placement() const { return {clientRect(), layout_, devicePixelRatioF()}; }
void Label::resizeEvent(QResizeEvent*) { picture_.setPlacement(placement()); }

void Label::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect client = clientRect();
  p.fillRect(rect(), backgroundColour());
  picture_.paint(p);
  if (!caption_.isEmpty()) {
    p.setPen(text_);
    p.setFont(font());
    const QString text = displayText(caption_);
    const int width = overflow_ != Overflow::Cut && !wrap_ ? fontMetrics().horizontalAdvance(text) : 0;
    if (width > client.width() && overflow_ == Overflow::ElideMiddle) {
      p.drawText(client, alignmentFlags(h_, v_, false),
                 fontMetrics().elidedText(text, Qt::ElideMiddle, client.width()));
    } else if (width > client.width()) {
      // Narrowed the way a condensed face would be: every letter stays readable.
      p.save();
      p.translate(client.left(), 0);
      p.scale(static_cast<qreal>(client.width()) / width, 1);
      p.drawText(QRect(0, client.top(), width, client.height()), alignmentFlags(h_, v_, false), text);
      p.restore();
    } else {
      p.drawText(client, alignmentFlags(h_, v_, wrap_), text);
    }
  }
  drawBorder(p, this, border_);
  paintFocusFrame(p, this);
}

// Presses stop here rather than reaching the window behind.
void Label::mousePressEvent(QMouseEvent* e) { e->accept(); }
void Label::keyPressEvent(QKeyEvent* e) {
  if (!pressByKey(this, e)) QWidget::keyPressEvent(e);
}

// ---- TransparentLabel

TransparentLabel::TransparentLabel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
}
Text TransparentLabel::caption() const { return fromQString(caption_); }
void TransparentLabel::setCaption(const Text& caption) {
  const QString before = std::exchange(caption_, toQString(caption));
  update();
  if (caption_ != before) announceCaption(this, before, caption_);
}
void TransparentLabel::setTextColour(QColor colour) {
  text_ = colour;
  update();
}
void TransparentLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!caption_.isEmpty()) {
    p.setPen(text_);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, displayText(caption_));
  }
  paintFocusFrame(p, this);
}
void TransparentLabel::mousePressEvent(QMouseEvent* e) { e->accept(); }
void TransparentLabel::keyPressEvent(QKeyEvent* e) {
  if (!pressByKey(this, e)) QWidget::keyPressEvent(e);
}

// ---- Button

Button::Button(QWidget* parent) : QPushButton(parent) {}
Text Button::caption() const { return fromQString(text()); }
void Button::setCaption(const Text& caption) { setText(toQString(caption)); }

// ---- EditBox

EditBox::EditBox(QWidget* parent, EditOptions options) : QWidget(parent), options_(options) {
  QWidget* inner;
  if (options.multiLine) {
    multi_ = new QPlainTextEdit(this);
    multi_->setLineWrapMode(options.horizontalScroll ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    multi_->setHorizontalScrollBarPolicy(options.horizontalScroll ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
    multi_->setVerticalScrollBarPolicy(options.verticalScroll ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
    if (options.border == Border::None) multi_->setFrameShape(QFrame::NoFrame);
    inner = multi_;
  } else {
    line_ = new QLineEdit(this);
    line_->setFrame(options.border != Border::None);
    if (options.integerOnly) {
      line_->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line_));
    }
    inner = line_;
  }
  inner->setGeometry(rect());
  setFocusProxy(inner);
  forwardEvents(this, inner);
}

Text EditBox::text() const {
  return fromQString(multi_ ? multi_->toPlainText().replace(u'\n', QStringLiteral("\r\n")) : line_->text());
}

void EditBox::setText(const Text& text) {
  if (multi_) {
    multi_->setPlainText(displayText(toQString(text)));
  } else {
    line_->setText(toQString(text));
  }
}

void EditBox::resizeEvent(QResizeEvent*) { editor()->setGeometry(rect()); }

QWidget* EditBox::editor() const { return multi_ ? static_cast<QWidget*>(multi_) : line_; }

void EditBox::setTextColour(QColor colour) {
  QPalette pal = editor()->palette();
  pal.setColor(QPalette::Text, colour);
  editor()->setPalette(pal);
}
void EditBox::setBackgroundColour(QColor colour) {
  QPalette pal = editor()->palette();
  pal.setColor(QPalette::Base, colour);
  editor()->setPalette(pal);
}
QColor EditBox::textColour() const { return editor()->palette().color(QPalette::Text); }
void EditBox::setHint(const Text& hint) {
  if (multi_) {
    multi_->setPlaceholderText(toQString(hint));
  } else {
    line_->setPlaceholderText(toQString(hint));
  }
}
Text EditBox::hint() const {
  return fromQString(multi_ ? multi_->placeholderText() : line_->placeholderText());
}
QColor EditBox::backgroundColour() const { return editor()->palette().color(QPalette::Base); }

// ---- PictureBox

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  // It paints every pixel itself: an animation frame repaints the box alone, not the window's
  // skin beneath it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  connect(&picture_, &Picture::changed, this, qOverload<>(&QWidget::update));
}
void PictureBox::setPicture(Bytes bytes) {
  const bool wasEmpty = picture_.empty();
  picture_.setBytes(std::move(bytes), placement());
  if (picture_.empty() != wasEmpty) announceNameChange(this);  // the name tells whether it is empty
}
void PictureBox::setMode(DisplayMode mode) {
  mode_ = mode;
  picture_.setPlacement(placement());
  update();
}
void PictureBox::setBorder(Border border) {
  border_ = border;
  picture_.setPlacement(placement());
  update();
}
void PictureBox::setBackgroundColour(QColor colour) {
  background_ = colour;
  update();
}
QRect PictureBox::clientRect() const {
  const int b = borderWidth(border_);
  return rect().adjusted(b, b, -b, -b);
}
Placement PictureBox::placement() const { return {clientRect(), layoutOf(mode_), devicePixelRatioF()}; }
void PictureBox::resizeEvent(QResizeEvent*) { picture_.setPlacement(placement()); }
QRect PictureBox::shownRect() const {
  if (!picture_.shown()) return QRect();
  return placePicture(picture_.naturalSize(), clientRect(), mode_).intersected(clientRect());
}
void PictureBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), background_);
  picture_.paint(p);
  drawBorder(p, this, border_);
  paintFocusFrame(p, this);
}
void PictureBox::mousePressEvent(QMouseEvent* e) { e->accept(); }
void PictureBox::keyPressEvent(QKeyEvent* e) {
  if (!pressByKey(this, e)) QWidget::keyPressEvent(e);
}

// ---- GroupBox

GroupBox::GroupBox(QWidget* parent) : QGroupBox(parent) { setAlignment(Qt::AlignHCenter); }
Text GroupBox::caption() const { return fromQString(title()); }
void GroupBox::setCaption(const Text& caption) { setTitle(toQString(caption)); }

// ---- ComboBox

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
}
Text ComboBox::currentItemText() const { return fromQString(currentText()); }
void ComboBox::setCurrentItemText(const Text& text) {
  const QString t = toQString(text);
  const int i = findText(t);
  if (i >= 0) setCurrentIndex(i);
  setEditText(t);
}
void ComboBox::setItems(const TextArray& items) {
  clear();
  for (const Text& item : items) addItem(toQString(item));
}

// ---- TabControl

TabControl::TabControl(QWidget* parent) : QStackedWidget(parent) {
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(false);
}
TabPage::TabPage(QWidget* parent) : QWidget(parent) {}

QWidget* TabControl::addPage() {
  auto* page = new TabPage(this);
  page->setAutoFillBackground(false);
  addWidget(page);
  return page;
}
// The pages are the window's background: a press there goes on to the window.
void TabControl::mousePressEvent(QMouseEvent* e) { e->ignore(); }

// ---- ColourPicker

ColourPicker::ColourPicker(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }
void ColourPicker::setColour(QColor colour) {
  colour_ = colour;
  update();
}
void ColourPicker::paintEvent(QPaintEvent*) {
  QPainter p(this);
  qDrawWinPanel(&p, rect(), palette(), true);
  p.fillRect(rect().adjusted(3, 3, -3, -3), colour_);
  paintFocusFrame(p, this);
}
void ColourPicker::mousePressEvent(QMouseEvent* e) {
  e->accept();
  if (e->button() != Qt::LeftButton) return;
  if (!desktop_) return;
  if (const auto chosen = desktop_->chooseColour(this, colour_)) setColour(*chosen);
}
void ColourPicker::keyPressEvent(QKeyEvent* e) {
  if (!pressByKey(this, e)) QWidget::keyPressEvent(e);
}

// ---- OpenFileDialog

OpenFileDialog::OpenFileDialog(QWidget* owner) : QObject(owner), owner_(owner) {}

std::optional<Text> OpenFileDialog::showOpen(platform::Desktop& desktop) {
  auto chosen = desktop.openFile(owner_, filter_);
  if (chosen) fileName_ = *chosen;
  return chosen;
}

// ---- WebBrowser

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) { hide(); }

}  // namespace mw::toolkit
