#include <QApplication>
#include <QEventLoop>

#include "resources/embedded_pictures.h"
#include "runtime/event_pump.h"
#include "shell/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Memwick"));
  // Waiting requests keep the windows painting; user input waits until the handler is done.
  mw::setEventPump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

  mw::shell::Program program(mw::resources::picture);
  program.start();
  return app.exec();
}
