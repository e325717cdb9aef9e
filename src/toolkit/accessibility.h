#pragma once
// What the controls tell accessibility tools (screen readers, automation over AT-SPI): roles,
// names, texts, states and actions, through Qt's accessibility interfaces. The interfaces are
// registered when the application starts; a window's definition adds the hints below.
//
// A control "acts on a press" when a left-button-down handler is bound on it (and its pressable
// condition, if any, holds). Such a label is a push button, has a press action, takes part in the
// keyboard's Tab order and is pressed by Enter or Space.
#include <QString>
#include <functional>
#include <span>

class QKeyEvent;
class QPainter;
class QWidget;

namespace mw::toolkit {

// The name spoken for a control that shows no caption of its own (and for picture labels,
// whose caption is not what they show). Picture boxes add "（空）" while they hold no picture.
void setSpokenName(QWidget* control, const QString& name);
QString spokenName(const QWidget* control);

// A control whose handler only acts in some state (for example only while a link is shown)
// acts on a press only while `condition` holds.
void setPressableWhen(QWidget* control, std::function<bool()> condition);

// Offers the control's right-button-down handler, when bound, as an action of this name.
void setRightPressAction(QWidget* control, const QString& actionName);
QString rightPressAction(const QWidget* control);

struct SpokenNameEntry {
  const char* control;  // the control's name (UTF-8)
  const char* spoken;   // UTF-8
};
// setSpokenName for each entry on the window's control of that name; the pages of a tab control
// are named in order.
void setSpokenNames(QWidget* window, std::span<const SpokenNameEntry> entries);
void setPageNames(QWidget* tabControl, std::span<const char* const> utf8Names);

// Whether a left-button press on the control runs a handler.
bool actsOnPress(const QWidget* control);
bool actsOnRightPress(const QWidget* control);
// Buttons, edit boxes, combo boxes, colour pickers, and the controls that act on a press.
bool isInteractive(const QWidget* control);

// Delivers a button-down (and up) at the control's centre, as a click there would, once the
// caller has returned to the event loop.
void pressLater(QWidget* control, bool rightButton = false);

// Enter or Space presses a control that acts on a press, the menu key right-presses it. True
// when the key was used.
bool pressByKey(QWidget* control, const QKeyEvent* key);

// Moves the keyboard focus to the next (or previous) interactive control of the window in
// reading order: by top, then left, in window coordinates. Only shown, enabled controls count.
bool focusNextInReadingOrder(QWidget* window, bool forward);

// The focus frame of labels and picture boxes: drawn while the control has the focus and the
// window's focus was last moved by the keyboard.
void paintFocusFrame(QPainter& painter, const QWidget* control);

// Announcements of a change that tools cannot see by themselves.
void announceCaption(QWidget* control, const QString& before, const QString& after);
void announceNameChange(QWidget* control);
// The popup of a balloon tip has appeared.
void announceTip(QWidget* popup);

// Registers the control interfaces with Qt (done once when the application starts).
void installAccessibility();

}  // namespace mw::toolkit
