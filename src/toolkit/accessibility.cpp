#include "toolkit/accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/events.h"

namespace mw::toolkit {
namespace {

// The hints a control carries, as a child object that goes away with it.
class Hints : public QObject {
 public:
  explicit Hints(QWidget* owner) : QObject(owner) { setObjectName(name()); }
  static QString name() { return QStringLiteral("mw_accessibility_hints"); }

  QString spoken;
  std::function<bool()> pressable;
  QString rightAction;
};

Hints* findHints(const QWidget* control) {
  return dynamic_cast<Hints*>(control->findChild<QObject*>(Hints::name(), Qt::FindDirectChildrenOnly));
}

Hints& hints(QWidget* control) {
  Hints* h = findHints(control);
  return h ? *h : *new Hints(control);
}

// Where the control's event binder listens: the Qt editor inside an edit box, else the control.
QWidget* pressTarget(QWidget* control) {
  if (auto* box = qobject_cast<EditBox*>(control)) return box->editor();
  return control;
}

bool isActivationKey(const QKeyEvent* key) {
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
}

bool isMenuKey(const QKeyEvent* key) {
  return (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier) ||
         (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
}

}  // namespace

void setSpokenName(QWidget* control, const QString& name) {
  hints(control).spoken = name;
  // The editor inside an edit box holds the focus; focus events must name it as the box.
  if (auto* box = qobject_cast<EditBox*>(control)) box->editor()->setAccessibleName(name);
  announceNameChange(control);
}

QString spokenName(const QWidget* control) {
  const Hints* h = findHints(control);
  return h ? h->spoken : QString();
}

void setPressableWhen(QWidget* control, std::function<bool()> condition) {
  hints(control).pressable = std::move(condition);
}

void setRightPressAction(QWidget* control, const QString& actionName) {
  hints(control).rightAction = actionName;
}

QString rightPressAction(const QWidget* control) {
  const Hints* h = findHints(control);
  return h && !h->rightAction.isEmpty() ? h->rightAction : QAccessibleActionInterface::showMenuAction();
}

void setSpokenNames(QWidget* window, std::span<const SpokenNameEntry> entries) {
  for (const SpokenNameEntry& e : entries) {
    const QString name = QString::fromUtf8(e.control);
    if (auto* control = window->objectName() == name ? window : window->findChild<QWidget*>(name)) {
      setSpokenName(control, QString::fromUtf8(e.spoken));
    } else {
      qWarning("no control %s to name", e.control);
    }
  }
}

void setPageNames(QWidget* tabControl, std::span<const char* const> utf8Names) {
  auto* tabs = qobject_cast<TabControl*>(tabControl);
  if (!tabs) return;
  for (int i = 0; i < int(utf8Names.size()) && i < tabs->count(); ++i) {
    setSpokenName(tabs->page(i), QString::fromUtf8(utf8Names[size_t(i)]));
  }
}

bool actsOnPress(const QWidget* control) {
  if (qobject_cast<const ColourPicker*>(control)) return true;  // its press opens the colour dialog
  if (!isBound(control, Event::LeftDown)) return false;
  const Hints* h = findHints(control);
  return !h || !h->pressable || h->pressable();
}

bool actsOnRightPress(const QWidget* control) { return isBound(control, Event::RightDown); }

bool isInteractive(const QWidget* control) {
  if (qobject_cast<const QAbstractButton*>(control) || qobject_cast<const EditBox*>(control) ||
      qobject_cast<const ComboBox*>(control) || qobject_cast<const ColourPicker*>(control)) {
    return true;
  }
  if (qobject_cast<const Label*>(control) || qobject_cast<const TransparentLabel*>(control) ||
      qobject_cast<const PictureBox*>(control)) {
    return actsOnPress(control);
  }
  return false;
}

void pressLater(QWidget* control, bool rightButton) {
  // Later, so that a tool's request returns before the handler runs (it may load pages).
  QTimer::singleShot(0, control, [control, rightButton] {
    if (!control->isEnabled()) return;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      if (!rightButton) button->click();
      return;
    }
    const Qt::MouseButton b = rightButton ? Qt::RightButton : Qt::LeftButton;
    QPointer<QWidget> target = pressTarget(control);
    const QPointF at = target->mapFrom(control, QPoint(control->width() / 2, control->height() / 2));
    const QPointF global = target->mapToGlobal(at);
    QMouseEvent down(QEvent::MouseButtonPress, at, global, b, b, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &down);
    if (!target) return;  // the handler removed it
    QMouseEvent up(QEvent::MouseButtonRelease, at, global, b, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &up);
  });
}

bool pressByKey(QWidget* control, const QKeyEvent* key) {
  if (isActivationKey(key) && actsOnPress(control)) {
    if (!key->isAutoRepeat()) pressLater(control);
    return true;
  }
  if (isMenuKey(key) && actsOnRightPress(control)) {
    pressLater(control, true);
    return true;
  }
  return false;
}

bool focusNextInReadingOrder(QWidget* window, bool forward) {
  struct Stop {
    QPoint at;
    QWidget* control;
  };
  std::vector<Stop> chain;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->isWindow() || !isInteractive(w) || !w->isEnabled() || !w->isVisibleTo(window)) continue;
    chain.push_back({w->mapTo(window, QPoint(0, 0)), w});
  }
  if (chain.empty()) return false;
  std::stable_sort(chain.begin(), chain.end(), [](const Stop& a, const Stop& b) {
    return a.at.y() != b.at.y() ? a.at.y() < b.at.y() : a.at.x() < b.at.x();
  });
  // The focus may be inside a control (the editor of an edit box or combo box).
  const QWidget* focus = window->focusWidget();
  const auto current = std::find_if(chain.begin(), chain.end(), [focus](const Stop& s) {
    return focus && (s.control == focus || s.control->isAncestorOf(focus));
  });
  const int n = int(chain.size());
  int next;
  if (current == chain.end()) {
    next = forward ? 0 : n - 1;
  } else {
    next = (int(current - chain.begin()) + (forward ? 1 : n - 1)) % n;
  }
  chain[size_t(next)].control->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void paintFocusFrame(QPainter& painter, const QWidget* control) {
  // Only once the keyboard has moved the focus, as Qt's styles do: the start-up focus on a
  // label leaves the look as it was.
  if (!control->hasFocus() || !control->window()->testAttribute(Qt::WA_KeyboardFocusChange)) return;
  painter.save();
  QPen pen(control->palette().color(QPalette::Highlight), 2);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(control->rect()).adjusted(1, 1, -1, -1));
  painter.restore();
}

void announceCaption(QWidget* control, const QString& before, const QString& after) {
  announceNameChange(control);
  QString oldText = before;
  QString newText = after;
  QAccessibleTextUpdateEvent text(control, 0, oldText.remove(u'\r'), newText.remove(u'\r'));
  QAccessible::updateAccessibility(&text);
}

void announceNameChange(QWidget* control) {
  QAccessibleEvent name(control, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&name);
}

void announceTip(QWidget* popup) {
  QAccessibleEvent alert(popup, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

Q_COREAPP_STARTUP_FUNCTION(installAccessibility)

}  // namespace mw::toolkit
