#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "demo/demo_site.h"
#include "net/program_sites.h"
#include "resources/embedded_pictures.h"
#include "runtime/event_pump.h"
#include "runtime/files.h"
#include "runtime/places.h"
#include "shell/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Memwick"));
  // Waiting requests keep the windows painting; user input waits until the handler is done.
  mw::runtime::setEventPump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

  // The sites come first: the program never starts half-configured.
  const std::vector<std::string> args(argv + 1, argv + argc);
  mw::net::ProgramSites sites = mw::net::programSites(args, mw::runtime::programDirectory());
  // Without a sites file the program uses its embedded demo site, serving until main returns.
  std::optional<mw::demo::DemoSite> demoSite;
  if (sites.embedded) sites = mw::demo::startAsProgramSites(demoSite.emplace());
  if (!sites.ok) {
    std::fprintf(stderr, "memwick: %s\n", sites.error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Memwick"), QString::fromStdString(sites.error));
    return 1;
  }

  mw::shell::Program program(mw::resources::picture, sites.settings, mw::toolkit::qtDesktop(),
                             mw::runtime::programPlaces());
  program.start();
  return app.exec();
}
