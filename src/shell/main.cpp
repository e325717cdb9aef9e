#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QThreadPool>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "demo/demo_site.h"
#include "library/library.h"
#include "net/program_sites.h"
#include "platform/desktop.h"
#include "platform/wait_pump.h"
#include "resources/embedded_pictures.h"
#include "runtime/places.h"
#include "shell/library_link.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "shell/user_folders.h"

namespace {

struct Arguments {
  std::optional<std::string> sitesFile;
  std::vector<std::string> libraryFolders;
};

// Read before the application object, which opens the display. The status to exit with when the
// program should not go on.
std::optional<int> readCommandLine(int argc, char** argv, Arguments& arguments) {
  mw::cli::CommandLine commandLine(
      "memwick", MW_VERSION,
      QStringLiteral("Finds, captions and copies reaction pictures for chats.\n"
                     "Qt's own options (-platform, -display, -style, ...) are taken too."));
  const QCommandLineOption sitesOption(
      QStringLiteral("sites"),
      QStringLiteral("Read the hosts of the sites from FILE instead of MW_sites.ini."),
      QStringLiteral("FILE"));
  commandLine.parser().addOption(sitesOption);
  const QCommandLineOption libraryOption(
      QStringLiteral("library"),
      QStringLiteral("Also search the pictures below DIR (the embedded site only; repeatable)."),
      QStringLiteral("DIR"));
  commandLine.parser().addOption(libraryOption);
  commandLine.acceptQtOptions();
  if (const std::optional<int> status = commandLine.parse(argc, argv)) return status;
  if (commandLine.parser().isSet(sitesOption)) {
    arguments.sitesFile = commandLine.parser().value(sitesOption).toStdString();
    if (arguments.sitesFile->empty())
      return commandLine.fail(QStringLiteral("--sites needs the name of a sites file"));
  }
  for (const QString& folder : commandLine.parser().values(libraryOption))
    arguments.libraryFolders.push_back(mw::cli::CommandLine::localBytes(folder));
  return std::nullopt;
}

void setUpApplication(QApplication& app) {
  // The reverse-DNS name ties the windows to the desktop entry and its icon: it is the X11 window
  // class (StartupWMClass) and, through the desktop file name, the Wayland app id.
  app.setApplicationName(QStringLiteral(MW_APP_ID));
  app.setDesktopFileName(QStringLiteral(MW_APP_ID));
  // The installed theme icon; a copy run from its build folder uses the one compiled in.
  QIcon builtIn;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    builtIn.addFile(QStringLiteral(":/icons/%1x%1/apps/" MW_APP_ID ".png").arg(size), QSize(size, size));
  app.setWindowIcon(QIcon::fromTheme(QStringLiteral(MW_APP_ID), builtIn));
  mw::platform::useChineseQtTexts();
  // Qt paints large areas on pooled threads; an idle program lets them go after a few seconds.
  QThreadPool::globalInstance()->setExpiryTimeout(3000);
}

// The embedded demo site, serving until main returns, with the user's pictures: the favourites
// folder in use and every --library DIR. The site goes without the library when that cannot
// start.
mw::net::ProgramSites startEmbeddedSite(const std::vector<std::string>& libraryFolders,
                                        std::optional<mw::library::Library>& library,
                                        std::optional<mw::demo::DemoSite>& demoSite) {
  std::string error;
  if (library.emplace().start(&error)) {
    library->setFolders(libraryFolders);
  } else {
    std::fprintf(stderr, "memwick: the picture library is off: %s\n", error.c_str());
    library.reset();
  }
  mw::demo::DemoOptions options;
  options.library = library ? &*library : nullptr;
  // The site serves the user's own pictures: only to requests made for it.
  options.checkHost = true;
  return mw::demo::startAsProgramSites(demoSite.emplace(options));
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (const std::optional<int> status = readCommandLine(argc, argv, arguments)) return *status;
  QApplication app(argc, argv);
  setUpApplication(app);
  // Waiting requests keep the windows painting and the chrome working; other input waits until
  // the handler is done. Closing the window during a load aborts it.
  mw::platform::WaitPump waitPump;

  // Where the settings live: beside a portable copy, in the user's folders for an installed one.
  const mw::runtime::ProgramPlaces places = mw::runtime::programPlaces(mw::shell::userFolders());
  // The sites come first: the program never starts half-configured.
  mw::net::ProgramSites sites = mw::net::programSites(arguments.sitesFile, places.settingsFolder);
  std::optional<mw::library::Library> library;
  std::optional<mw::demo::DemoSite> demoSite;
  if (sites.embedded) sites = startEmbeddedSite(arguments.libraryFolders, library, demoSite);
  if (!sites.ok) {
    std::fprintf(stderr, "memwick: %s\n", sites.error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Memwick"), QString::fromStdString(sites.error));
    return 1;
  }

  // The connections and the probe start-up needs are under way while the window is built.
  const auto warmPath = mw::shell::warmPath(sites.settings);
  mw::shell::Program program(mw::resources::picture, sites.settings, mw::platform::qtDesktop(), places);
  if (library) mw::shell::linkLibrary(program, *library);
  program.start();
  const int code = app.exec();
  if (library) mw::shell::unlinkLibrary(program, *library);
  return code;
}
