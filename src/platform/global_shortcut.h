#pragma once
// A key that calls the program from wherever the user is. On an X server it is grabbed on the
// root window; in a Wayland session it is bound through the desktop portal's GlobalShortcuts,
// which the desktop may first show to the user. Where neither works, problem() tells the user
// how to bind `memwick --toggle` in the desktop's own keyboard settings instead.
//
// Meant to be used once per program, for as long as it runs:
//   auto* shortcut = new GlobalShortcut(app);
//   connect(shortcut, &GlobalShortcut::activated, window, [](const QByteArray& token, quint32 time) {
//     // toggle the window: a shown window takes the token (xdg-activation) or the X server time
//     // (its user time), so that the desktop lets it come up activated
//   });
//   connect(shortcut, &GlobalShortcut::changed, settings, [] { /* show keys() and problem() */ });
//   shortcut->bind(QKeySequence(QStringLiteral("Ctrl+Alt+M")));
#include <QByteArray>
#include <QKeySequence>
#include <QObject>
#include <QString>
#include <memory>

namespace mw::platform {

class ShortcutRoute;

class GlobalShortcut : public QObject {
  Q_OBJECT

 public:
  explicit GlobalShortcut(QObject* parent = nullptr);
  ~GlobalShortcut() override;

  // Replaces what was bound; an empty sequence unbinds. Only one key combination with Ctrl, Alt
  // or Win (a function key may go alone) can be bound; anything else is refused in problem().
  void bind(const QKeySequence& keys);
  QKeySequence keys() const { return keys_; }
  // Empty while it works or is being bound; else, in Chinese, what is wrong and what the user
  // can do.
  QString problem() const { return problem_; }
  // Whether a press of keys() reaches the program now: false while the desktop is still asked
  // (the portal answers later) and whenever problem() says why not.
  bool active() const { return active_; }

 signals:
  // A press of the key. The activation token comes from the portal where it brings one (else
  // empty); x11Time is the X server time of the press (else 0).
  void activated(const QByteArray& activationToken, quint32 x11Time);
  // problem(), keys() or active() changed.
  void changed();

 private:
  // What the route found: "" and active, "" and still asked, or a problem.
  void report(bool active, const QString& problem);

  QKeySequence keys_;
  QString problem_;
  bool active_ = false;
  bool binding_ = false;  // within bind(), which emits changed() once
  std::unique_ptr<ShortcutRoute> route_;
};

}  // namespace mw::platform
