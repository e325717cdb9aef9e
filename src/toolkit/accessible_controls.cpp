// The accessibility interfaces of the toolkit's controls. Qt's own interfaces serve the
// controls that are plain Qt widgets (buttons, combo boxes, the editors inside edit boxes).
#include <QAbstractButton>
#include <QAccessibleWidget>

#include "platform/qt_text.h"
#include "toolkit/accessibility.h"
#include "toolkit/balloon_tip.h"
#include "toolkit/controls.h"
#include "toolkit/window.h"

namespace mw::toolkit {
using platform::fromQString;
using platform::toQString;
namespace {

// A label shows a picture when it holds one or is laid out for one.
bool isPictureLabel(const Label* l) { return !l->picture().empty() || l->pictureLayout() != Layout::Natural; }

QString captionOf(const QWidget* w) {
  if (auto* l = qobject_cast<const Label*>(w)) return toQString(l->caption());
  if (auto* t = qobject_cast<const TransparentLabel*>(w)) return toQString(t->caption());
  return QString();
}

// What a sighted user reads on the control, else its spoken name.
QString nameOf(const QWidget* w) {
  const QString spoken = spokenName(w);
  const auto orSpoken = [&spoken](const QString& shown) {
    const QString s = shown.simplified();
    return s.isEmpty() ? spoken : s;
  };
  if (auto* window = qobject_cast<const Window*>(w)) return orSpoken(window->windowTitle());
  if (auto* l = qobject_cast<const Label*>(w)) {
    if (isPictureLabel(l) && !spoken.isEmpty()) return spoken;
    return orSpoken(captionOf(l));
  }
  if (qobject_cast<const TransparentLabel*>(w)) return orSpoken(captionOf(w));
  if (auto* g = qobject_cast<const GroupBox*>(w)) return orSpoken(g->title());
  if (auto* p = qobject_cast<const PictureBox*>(w)) {
    return p->picture().empty() ? spoken + QStringLiteral("（空）") : spoken;
  }
  if (auto* tip = qobject_cast<const BalloonPopup*>(w)) return tip->text();
  return spoken;
}

QAccessible::Role roleOf(const QWidget* w) {
  if (auto* window = qobject_cast<const Window*>(w)) {
    return window->frame() == Frame::FixedSingle ? QAccessible::Dialog : QAccessible::Window;
  }
  if (qobject_cast<const Label*>(w) || qobject_cast<const TransparentLabel*>(w)) {
    if (actsOnPress(w)) return QAccessible::PushButton;
    auto* l = qobject_cast<const Label*>(w);
    return l && isPictureLabel(l) ? QAccessible::Graphic : QAccessible::StaticText;
  }
  if (qobject_cast<const PictureBox*>(w)) return QAccessible::Graphic;
  if (qobject_cast<const EditBox*>(w)) return QAccessible::EditableText;
  if (qobject_cast<const TabControl*>(w)) return QAccessible::PageTabList;
  if (qobject_cast<const TabPage*>(w)) return QAccessible::PageTab;
  if (qobject_cast<const GroupBox*>(w)) return QAccessible::Grouping;
  if (qobject_cast<const ColourPicker*>(w)) return QAccessible::PushButton;
  if (qobject_cast<const WebBrowser*>(w)) return QAccessible::WebDocument;
  if (qobject_cast<const BalloonPopup*>(w)) return QAccessible::ToolTip;
  return QAccessible::Client;
}

class ControlAccessible : public QAccessibleWidget {
 public:
  explicit ControlAccessible(QWidget* w) : QAccessibleWidget(w) {}

  QAccessible::Role role() const override { return roleOf(widget()); }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return nameOf(widget());
    if (t == QAccessible::Value) {
      if (auto* picker = qobject_cast<const ColourPicker*>(widget()))
        return picker->colour().name().toUpper();
    }
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    const QWidget* w = widget();
    if (!w->isWindow()) s.focusable = isInteractive(w);
    if (auto* page = qobject_cast<const TabPage*>(w)) {
      auto* tabs = qobject_cast<const TabControl*>(page->parentWidget());
      s.selectable = true;
      s.selected = tabs && tabs->currentWidget() == page;
    }
    return s;
  }

  QStringList actionNames() const override {
    QStringList names;
    const QWidget* w = widget();
    if (w->isWindow() || !w->isEnabled()) return names;
    if (actsOnPress(w)) names << pressAction();
    if (actsOnRightPress(w)) names << rightPressAction(w);
    if (state().focusable) names << setFocusAction();
    return names;
  }

  void doAction(const QString& action) override {
    QWidget* w = widget();
    if (!actionNames().contains(action)) return;
    if (action == pressAction()) {
      pressLater(w);
    } else if (action == setFocusAction()) {
      w->setFocus(Qt::OtherFocusReason);
    } else {
      pressLater(w, true);
    }
  }

  // Space presses a focused control, except in an edit box, where it is typed.
  QStringList keyBindingsForAction(const QString& action) const override {
    if (action == pressAction() && !qobject_cast<const EditBox*>(widget())) return {QStringLiteral("Space")};
    return {};
  }
};

// Labels also give their caption through the text interface (the name is simplified for speech;
// the text is the caption as shown, line breaks included).
class LabelAccessible : public ControlAccessible, public QAccessibleTextInterface {
 public:
  using ControlAccessible::ControlAccessible;
  using ControlAccessible::text;

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return ControlAccessible::interface_cast(t);
  }

  void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int startOffset, int endOffset) const override {
    return shown().mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override { return int(shown().size()); }
  QRect characterRect(int) const override { return QRect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
  }

 private:
  QString shown() const { return captionOf(widget()).remove(u'\r'); }
};

// An edit box is one editable text: its Qt editor is not a child of its own but does the work.
class EditBoxAccessible : public ControlAccessible,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
 public:
  using ControlAccessible::ControlAccessible;
  using ControlAccessible::text;

  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return editor() ? editor()->text(t) : QString();
    return ControlAccessible::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = ControlAccessible::state();
    if (auto* e = editor()) {
      const QAccessible::State inner = e->state();
      s.editable = inner.editable;
      s.readOnly = inner.readOnly;
      s.multiLine = inner.multiLine;
    }
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface && innerText()) return static_cast<QAccessibleTextInterface*>(this);
    if (t == QAccessible::EditableTextInterface && innerEditable()) {
      return static_cast<QAccessibleEditableTextInterface*>(this);
    }
    return ControlAccessible::interface_cast(t);
  }

  void selection(int i, int* startOffset, int* endOffset) const override {
    innerText()->selection(i, startOffset, endOffset);
  }
  int selectionCount() const override { return innerText()->selectionCount(); }
  void addSelection(int startOffset, int endOffset) override {
    innerText()->addSelection(startOffset, endOffset);
  }
  void removeSelection(int i) override { innerText()->removeSelection(i); }
  void setSelection(int i, int startOffset, int endOffset) override {
    innerText()->setSelection(i, startOffset, endOffset);
  }
  int cursorPosition() const override { return innerText()->cursorPosition(); }
  void setCursorPosition(int position) override { innerText()->setCursorPosition(position); }
  QString text(int startOffset, int endOffset) const override {
    return innerText()->text(startOffset, endOffset);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType b, int* s, int* e) const override {
    return innerText()->textBeforeOffset(offset, b, s, e);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType b, int* s, int* e) const override {
    return innerText()->textAfterOffset(offset, b, s, e);
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType b, int* s, int* e) const override {
    return innerText()->textAtOffset(offset, b, s, e);
  }
  int characterCount() const override { return innerText()->characterCount(); }
  QRect characterRect(int offset) const override { return innerText()->characterRect(offset); }
  int offsetAtPoint(const QPoint& point) const override { return innerText()->offsetAtPoint(point); }
  void scrollToSubstring(int startIndex, int endIndex) override {
    innerText()->scrollToSubstring(startIndex, endIndex);
  }
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    return innerText()->attributes(offset, startOffset, endOffset);
  }

  void deleteText(int startOffset, int endOffset) override {
    innerEditable()->deleteText(startOffset, endOffset);
  }
  void insertText(int offset, const QString& text) override { innerEditable()->insertText(offset, text); }
  void replaceText(int startOffset, int endOffset, const QString& text) override {
    innerEditable()->replaceText(startOffset, endOffset, text);
  }

 private:
  QAccessibleInterface* editor() const {
    return QAccessible::queryAccessibleInterface(static_cast<EditBox*>(widget())->editor());
  }
  QAccessibleTextInterface* innerText() const {
    auto* e = editor();
    return e ? e->textInterface() : nullptr;
  }
  QAccessibleEditableTextInterface* innerEditable() const {
    auto* e = editor();
    return e ? e->editableTextInterface() : nullptr;
  }
};

// The pages in page order (a stacked widget keeps its children in stacking order).
class TabControlAccessible : public ControlAccessible {
 public:
  using ControlAccessible::ControlAccessible;

  int childCount() const override { return tabs()->count(); }
  QAccessibleInterface* child(int index) const override {
    QWidget* page = tabs()->page(index);
    return page ? QAccessible::queryAccessibleInterface(page) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child ? tabs()->indexOf(qobject_cast<QWidget*>(child->object())) : -1;
  }

 private:
  TabControl* tabs() const { return static_cast<TabControl*>(widget()); }
};

QAccessibleInterface* controlFactory(const QString&, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* w = static_cast<QWidget*>(object);
  if (qobject_cast<Label*>(w) || qobject_cast<TransparentLabel*>(w)) return new LabelAccessible(w);
  if (qobject_cast<EditBox*>(w)) return new EditBoxAccessible(w);
  if (qobject_cast<TabControl*>(w)) return new TabControlAccessible(w);
  if (roleOf(w) != QAccessible::Client) return new ControlAccessible(w);
  return nullptr;  // plain Qt widgets keep Qt's interfaces
}

}  // namespace

void installAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(controlFactory);
}

}  // namespace mw::toolkit
