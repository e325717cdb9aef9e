// shortcut_probe KEYS: binds KEYS as the global shortcut and prints, one line each, its state at
// each change ("state active=0|1 keys=… problem=…") and every press ("activated token=… time=…").
// A line "bind KEYS" on stdin binds again ("bind" alone unbinds).
#include <unistd.h>

#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>

#include "platform/global_shortcut.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  mw::platform::GlobalShortcut shortcut;
  auto state = [&] {
    std::printf("state active=%d keys=%s problem=%s\n", int(shortcut.active()),
                qUtf8Printable(shortcut.keys().toString()), qUtf8Printable(shortcut.problem()));
    std::fflush(stdout);
  };
  QObject::connect(&shortcut, &mw::platform::GlobalShortcut::changed, state);
  QObject::connect(&shortcut, &mw::platform::GlobalShortcut::activated,
                   [](const QByteArray& token, quint32 time) {
                     std::printf("activated token=%s time=%u\n", token.constData(), time);
                     std::fflush(stdout);
                   });
  QSocketNotifier input(0, QSocketNotifier::Read);
  QByteArray pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char chunk[256];
    const ssize_t got = ::read(0, chunk, sizeof chunk);
    if (got <= 0) return app.quit();
    pending.append(chunk, got);
    for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
      if (pending.startsWith("bind"))
        shortcut.bind(QKeySequence::fromString(QString::fromUtf8(pending.mid(4, end - 4).trimmed())));
  });
  shortcut.bind(QKeySequence::fromString(QString::fromLocal8Bit(argc > 1 ? argv[1] : "")));
  return app.exec();
}
