#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/program_sites.h"
#include "resources/embedded_pictures.h"
#include "runtime/files.h"
#include "shell/program.h"
#include "toolkit/wait_pump.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Memwick"));
  // Waiting requests keep the windows painting and the chrome working; other input waits until
  // the handler is done. Closing the window during a load aborts it.
  mw::toolkit::WaitPump waitPump;

  // The sites come first: the program never starts half-configured.
  const std::vector<std::string> args(argv + 1, argv + argc);
  const mw::demo::ProgramSites sites = mw::demo::programSites(args, mw::runtime::programDirectory());
  if (!sites.ok) {
    std::fprintf(stderr, "memwick: %s\n", sites.error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Memwick"), QString::fromStdString(sites.error));
    return 1;
  }

  int rc = 0;
  {
    mw::shell::Program program(mw::resources::picture);
    program.sites = sites.settings;
    program.start();
    rc = app.exec();
  }
  mw::demo::stopEmbeddedDemoSite();
  return rc;
}
