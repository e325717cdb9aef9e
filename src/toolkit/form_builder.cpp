#include "toolkit/form_builder.h"

#include <QApplication>

#include "toolkit/balloon_tip.h"

namespace mw::toolkit {
using runtime::gbk;
namespace {

QString name(const char* utf8) { return QString::fromUtf8(utf8); }

void applyLabelLook(Label* l, const Look& look, const PictureSource& pictures) {
  l->setCaption(gbk(look.caption));
  l->setBorder(look.border);
  l->setTextColour(QColor::fromRgb(look.text.value_or(qRgb(0, 0, 0))));
  if (look.background) l->setBackgroundColour(QColor::fromRgb(*look.background));
  l->setAlignment(look.h, look.v);
  l->setWordWrap(look.wordWrap);
  l->setOverflow(look.overflow);
  l->setPictureLayout(Layout(look.layout));
  if (look.picture) l->setPicture(pictures(look.picture));
}

}  // namespace

BuiltWindow::BuiltWindow(const WindowDef& def, const PictureSource& pictures)
    : def_(def), window_(std::make_unique<Window>(def.frame)) {
  Window* w = window_.get();
  w->setObjectName(name(def.name));
  w->setAccessibleDescription(w->objectName());  // tools find windows and controls by their names
  w->setTitle(gbk(def.title));
  w->resize(def.frame == Frame::FixedSingle ? def.size - kFixedSingleDecoration : def.size);
  w->setCentredAtShow(def.centred);
  w->setPictureLayout(def.layout);
  if (def.background) w->setBackgroundColour(QColor::fromRgb(*def.background));
  if (def.picture) w->setPicture(pictures(def.picture));

  for (const ControlDef& c : def.controls) {
    QWidget* parent = w;
    if (c.parent) {
      // A parent is defined before its children.
      QObject* p = byName_.value(name(c.parent));
      if (auto* tabs = qobject_cast<TabControl*>(p)) {
        parent = tabs->page(c.page);
      } else if (auto* container = qobject_cast<QWidget*>(p)) {
        parent = container;
      }
      if (!parent) qFatal("window definition: %s is not defined before %s", c.parent, c.name);
    }
    const Look& look = c.look;
    QObject* made = nullptr;
    QWidget* widget = nullptr;
    switch (c.kind) {
      case Kind::Label: {
        auto* l = new Label(parent);
        l->setGeometry(c.geometry);  // before the picture, which decodes for the client size
        applyLabelLook(l, look, pictures);
        widget = l;
        break;
      }
      case Kind::TransparentLabel: {
        auto* l = new TransparentLabel(parent);
        l->setCaption(gbk(look.caption));
        if (look.text) l->setTextColour(QColor::fromRgb(*look.text));
        widget = l;
        break;
      }
      case Kind::Button: {
        auto* b = new Button(parent);
        b->setCaption(gbk(look.caption));
        widget = b;
        break;
      }
      case Kind::EditBox: {
        auto* e = new EditBox(parent, look.edit);
        e->setText(gbk(look.caption));
        if (look.text) e->setTextColour(QColor::fromRgb(*look.text));
        if (look.background) e->setBackgroundColour(QColor::fromRgb(*look.background));
        widget = e;
        break;
      }
      case Kind::PictureBox: {
        auto* p = new PictureBox(parent);
        p->setGeometry(c.geometry);
        p->setBorder(look.border);
        p->setMode(DisplayMode(look.layout));
        if (look.background) p->setBackgroundColour(QColor::fromRgb(*look.background));
        if (look.picture) p->setPicture(pictures(look.picture));
        widget = p;
        break;
      }
      case Kind::GroupBox: {
        auto* g = new GroupBox(parent);
        g->setCaption(gbk(look.caption));
        widget = g;
        break;
      }
      case Kind::ComboBox: {
        auto* box = new ComboBox(parent);
        TextArray items;
        for (const char* item : look.items) items.push_back(gbk(item));
        box->setItems(items);
        if (look.selected) box->setCurrentItemText(gbk(look.selected));
        widget = box;
        break;
      }
      case Kind::TabControl: {
        auto* tabs = new TabControl(parent);
        for (int i = 0; i < def.tabPages; ++i) tabs->addPage();
        widget = tabs;
        break;
      }
      case Kind::ColourPicker:
        widget = new ColourPicker(parent);
        break;
      case Kind::WebBrowser:
        widget = new WebBrowser(parent);
        break;
      case Kind::OpenFileDialog: {
        auto* d = new OpenFileDialog(w);
        if (look.filter) d->setFilter(gbk(look.filter));
        made = d;
        break;
      }
      case Kind::BalloonTip:
        made = new BalloonTip(w);
        break;
    }
    if (widget) {
      widget->setGeometry(c.geometry);
      if (look.fontPixels > 0) widget->setFont(pixelFont(widget->font(), look.fontPixels, look.bold));
      if (c.disabled) widget->setDisabled(true);
      if (c.hidden) widget->hide();
      widget->setCursor(c.hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
      made = widget;
    }
    made->setObjectName(name(c.name));
    if (widget) widget->setAccessibleDescription(made->objectName());
    // The Qt editor inside takes the focus, so focus events name it; it speaks as its box does.
    if (auto* e = qobject_cast<EditBox*>(widget)) e->editor()->setAccessibleDescription(made->objectName());
    made_.push_back(made);
    byName_.insert(made->objectName(), made);
  }
}

QObject* BuiltWindow::find(std::string_view utf8Name) const {
  return byName_.value(QString::fromUtf8(utf8Name.data(), qsizetype(utf8Name.size())));
}

}  // namespace mw::toolkit
