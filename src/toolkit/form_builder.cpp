#include "toolkit/form_builder.h"

#include <QApplication>

#include "toolkit/balloon_tip.h"

namespace mw::toolkit {
using runtime::gbk;
namespace {

QString name(const char* utf8) { return QString::fromUtf8(utf8); }
QColor colour(QRgb rgb) { return QColor::fromRgb(rgb); }

// What a control's factory works from: its entry, its parent and the window's own parts.
struct Making {
  const ControlDef& def;
  QWidget* parent;
  Window* window;
  const PictureSource& pictures;
  int tabPages;
};

// Geometry goes before the picture of a label or picture box, which decodes for its client size.
QObject* makeLabel(const Making& m) {
  const Look& look = m.def.look;
  auto* l = new Label(m.parent);
  l->setGeometry(m.def.geometry);
  l->setCaption(gbk(look.caption));
  l->setBorder(look.border);
  l->setTextColour(colour(look.text.value_or(qRgb(0, 0, 0))));
  if (look.background) l->setBackgroundColour(colour(*look.background));
  l->setAlignment(look.h, look.v);
  l->setWordWrap(look.wordWrap);
  l->setOverflow(look.overflow);
  l->setPictureLayout(Layout(look.layout));
  if (look.picture) l->setPicture(m.pictures(look.picture));
  return l;
}

QObject* makeTransparentLabel(const Making& m) {
  auto* l = new TransparentLabel(m.parent);
  l->setCaption(gbk(m.def.look.caption));
  if (m.def.look.text) l->setTextColour(colour(*m.def.look.text));
  return l;
}

QObject* makeButton(const Making& m) {
  auto* b = new Button(m.parent);
  b->setCaption(gbk(m.def.look.caption));
  return b;
}

QObject* makeEditBox(const Making& m) {
  const Look& look = m.def.look;
  auto* e = new EditBox(m.parent, look.edit);
  e->setText(gbk(look.caption));
  if (look.text) e->setTextColour(colour(*look.text));
  if (look.background) e->setBackgroundColour(colour(*look.background));
  return e;
}

QObject* makePictureBox(const Making& m) {
  const Look& look = m.def.look;
  auto* p = new PictureBox(m.parent);
  p->setGeometry(m.def.geometry);
  p->setBorder(look.border);
  p->setMode(DisplayMode(look.layout));
  if (look.background) p->setBackgroundColour(colour(*look.background));
  if (look.picture) p->setPicture(m.pictures(look.picture));
  return p;
}

QObject* makeGroupBox(const Making& m) {
  auto* g = new GroupBox(m.parent);
  g->setCaption(gbk(m.def.look.caption));
  return g;
}

QObject* makeComboBox(const Making& m) {
  auto* box = new ComboBox(m.parent);
  TextArray items;
  for (const char* item : m.def.look.items) items.push_back(gbk(item));
  box->setItems(items);
  if (m.def.look.selected) box->setCurrentItemText(gbk(m.def.look.selected));
  return box;
}

QObject* makeTabControl(const Making& m) {
  auto* tabs = new TabControl(m.parent);
  for (int i = 0; i < m.tabPages; ++i) tabs->addPage();
  return tabs;
}

QObject* makeOpenFileDialog(const Making& m) {
  auto* d = new OpenFileDialog(m.window);
  if (m.def.look.filter) d->setFilter(gbk(m.def.look.filter));
  return d;
}

QObject* make(const Making& m) {
  switch (m.def.kind) {
    case Kind::Label:
      return makeLabel(m);
    case Kind::TransparentLabel:
      return makeTransparentLabel(m);
    case Kind::Button:
      return makeButton(m);
    case Kind::EditBox:
      return makeEditBox(m);
    case Kind::PictureBox:
      return makePictureBox(m);
    case Kind::GroupBox:
      return makeGroupBox(m);
    case Kind::ComboBox:
      return makeComboBox(m);
    case Kind::TabControl:
      return makeTabControl(m);
    case Kind::ColourPicker:
      return new ColourPicker(m.parent);
    case Kind::WebBrowser:
      return new WebBrowser(m.parent);
    case Kind::OpenFileDialog:
      return makeOpenFileDialog(m);
    case Kind::BalloonTip:
      return new BalloonTip(m.window);
  }
  qFatal("window definition: %s has no kind", m.def.name);
}

// What every visible control takes from its entry.
void applyCommon(QWidget* widget, const ControlDef& c) {
  widget->setGeometry(c.geometry);
  if (c.look.fontPixels > 0) widget->setFont(pixelFont(widget->font(), c.look.fontPixels, c.look.bold));
  if (c.disabled) widget->setDisabled(true);
  if (c.hidden) widget->hide();
  widget->setCursor(c.hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
  // Tools find windows and controls by their names. The Qt editor inside an edit box takes the
  // focus, so focus events name it; it speaks as its box does.
  widget->setAccessibleDescription(widget->objectName());
  if (auto* e = qobject_cast<EditBox*>(widget)) e->editor()->setAccessibleDescription(widget->objectName());
}

}  // namespace

BuiltWindow::BuiltWindow(const WindowDef& def, const PictureSource& pictures)
    : def_(def), window_(std::make_unique<Window>(def.frame)) {
  Window* w = window_.get();
  w->setObjectName(name(def.name));
  w->setAccessibleDescription(w->objectName());
  w->setTitle(gbk(def.title));
  w->resize(def.frame == Frame::FixedSingle ? def.size - kFixedSingleDecoration : def.size);
  w->setCentredAtShow(def.centred);
  w->setPictureLayout(def.layout);
  if (def.background) w->setBackgroundColour(colour(*def.background));
  if (def.picture) w->setPicture(pictures(def.picture));

  for (const ControlDef& c : def.controls) {
    QObject* made = make({c, parentOf(c), w, pictures, def.tabPages});
    made->setObjectName(name(c.name));
    if (auto* widget = qobject_cast<QWidget*>(made)) applyCommon(widget, c);
    made_.push_back(made);
    byName_.insert(made->objectName(), made);
  }
}

QWidget* BuiltWindow::parentOf(const ControlDef& c) const {
  if (!c.parent) return window_.get();
  // A parent is defined before its children: a tab control (then the page) or a container.
  QObject* p = byName_.value(name(c.parent));
  QWidget* parent = nullptr;
  if (auto* tabs = qobject_cast<TabControl*>(p)) {
    parent = tabs->page(c.page);
  } else {
    parent = qobject_cast<QWidget*>(p);
  }
  if (!parent) qFatal("window definition: %s is not defined before %s", c.parent, c.name);
  return parent;
}

QObject* BuiltWindow::find(std::string_view utf8Name) const {
  return byName_.value(QString::fromUtf8(utf8Name.data(), qsizetype(utf8Name.size())));
}

}  // namespace mw::toolkit
