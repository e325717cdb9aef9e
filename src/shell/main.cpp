#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QThreadPool>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "demo/demo_site.h"
#include "library/library.h"
#include "net/program_sites.h"
#include "net/upload_queue.h"
#include "platform/desktop.h"
#include "platform/global_shortcut.h"
#include "platform/wait_pump.h"
#include "resources/embedded_pictures.h"
#include "runtime/files.h"
#include "runtime/places.h"
#include "shell/instance.h"
#include "shell/library_link.h"
#include "shell/program.h"
#include "shell/settings_window.h"
#include "shell/startup.h"
#include "shell/summon.h"
#include "shell/tray.h"
#include "shell/user_folders.h"
#include "shell/user_settings.h"

namespace {

using mw::shell::Command;

struct Arguments {
  std::optional<std::string> sitesFile;
  std::vector<std::string> libraryFolders;
  mw::shell::Request request;
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
  const std::pair<Command, QCommandLineOption> commands[] = {
      {Command::Show,
       {QStringLiteral("show"), QStringLiteral("Show the running Memwick's window, ready to type.")}},
      {Command::Hide, {QStringLiteral("hide"), QStringLiteral("Hide the running Memwick's window.")}},
      {Command::Toggle,
       {QStringLiteral("toggle"),
        QStringLiteral("Hide the window when it has the keyboard, else show it; starts Memwick if needed.")}},
      {Command::Search,
       {QStringLiteral("search"),
        QStringLiteral("Show the window and search for WORD; starts Memwick if needed."),
        QStringLiteral("WORD")}},
      {Command::Quit,
       {QStringLiteral("quit"), QStringLiteral("End the running Memwick, as its close button does.")}},
  };
  for (const auto& [command, option] : commands) commandLine.parser().addOption(option);
  commandLine.acceptQtOptions();
  if (const std::optional<int> status = commandLine.parse(argc, argv)) return status;
  for (const auto& [command, option] : commands) {
    if (!commandLine.parser().isSet(option)) continue;
    if (arguments.request.command != Command::Start)
      return commandLine.fail(
          QStringLiteral("Give one of --show, --hide, --toggle, --search and --quit at a time."));
    arguments.request.command = command;
  }
  if (arguments.request.command == Command::Search) {
    arguments.request.word = commandLine.parser().value(QStringLiteral("search"));
    if (const QString problem = mw::shell::searchWordProblem(arguments.request.word); !problem.isEmpty()) {
      std::fprintf(stderr, "memwick: %s\n", qPrintable(problem));
      return 1;
    }
  }
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

// What the start asks of a program that runs already, with what shows that the user asked: the
// launcher's activation token or startup id, else the X server's time (taken once a program
// answers).
mw::platform::Activation startActivation() {
  return {qgetenv("XDG_ACTIVATION_TOKEN"), mw::platform::startupIdTime(qgetenv("DESKTOP_STARTUP_ID"))};
}

// The --library folders of this run, then the stored ones not among them.
std::vector<std::string> libraryFolders(const Arguments& arguments, const mw::shell::UserSettings& settings) {
  std::vector<std::string> folders = arguments.libraryFolders;
  for (const mw::Text& stored : settings.libraryFolders) {
    const std::string folder = mw::runtime::nativePath(stored);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  }
  return folders;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (const std::optional<int> status = readCommandLine(argc, argv, arguments)) return *status;
  // Where the settings live: beside a portable copy, in the user's folders for an installed one.
  const mw::runtime::UserFolders user = mw::shell::userFolders();
  const mw::runtime::ProgramPlaces places = mw::runtime::programPlaces(user);
  // One program per user: a start hands over to the one running before anything costly begins.
  const mw::shell::InstancePlaces instance =
      mw::shell::instancePlaces(user.runtime, mw::runtime::nativePath(places.settingsFolder));
  arguments.request.activation = startActivation();
  mw::shell::Claim claim = mw::shell::claimOrHandOver(instance, arguments.request);
  if (claim.exitStatus) {
    if (*claim.exitStatus == 0) mw::platform::endStartupNotification(qgetenv("DESKTOP_STARTUP_ID"));
    return *claim.exitStatus;
  }

  QApplication app(argc, argv);
  setUpApplication(app);
  // Waiting requests keep the windows painting and the chrome working; other input waits until
  // the handler is done. Closing the window during a load aborts it.
  mw::platform::WaitPump waitPump;

  // Requests that come while the program is still starting wait for it.
  mw::shell::Program* running = nullptr;
  std::vector<mw::shell::Request> early;
  mw::shell::InstanceServer server([&](const mw::shell::Request& request) {
    if (running) {
      mw::shell::takeRequest(*running, request);
    } else {
      early.push_back(request);
    }
  });
  if (QString error; claim.lock && !server.listen(instance.socket, error)) {
    std::fprintf(stderr, "memwick: cannot listen on %s (%s): this Memwick runs on its own\n",
                 instance.socket.c_str(), qPrintable(error));
    // Later starts then start on their own too, rather than wait for this one.
    claim.lock.reset();
  }

  const mw::shell::UserSettings settings =
      mw::shell::readUserSettings(places.settingsFile(), places.settingsFolder);
  // The sites come first: the program never starts half-configured.
  mw::net::ProgramSites sites = mw::net::programSites(arguments.sitesFile, places.settingsFolder);
  std::optional<mw::library::Library> library;
  std::optional<mw::demo::DemoSite> demoSite;
  if (sites.embedded) sites = startEmbeddedSite(libraryFolders(arguments, settings), library, demoSite);
  if (!sites.ok) {
    std::fprintf(stderr, "memwick: %s\n", sites.error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Memwick"), QString::fromStdString(sites.error));
    return 1;
  }

  // The connections and the probe start-up needs are under way while the window is built.
  const auto warmPath = mw::shell::warmPath(sites.settings);
  mw::shell::Program program(mw::resources::picture, sites.settings, mw::platform::qtDesktop(), places);
  program.state.settings.hideAfterCopy = settings.hideAfterCopy;
  if (library) mw::shell::linkLibrary(program, *library);
  mw::shell::SettingsWindow settingsWindow(program, library ? &*library : nullptr, arguments.libraryFolders,
                                           settings, user.config);
  mw::shell::bindSettingsButton(program, settingsWindow);
  // Saved pictures wait here for the shared collection's server, also across starts.
  mw::net::UploadQueue uploads(user.cache + "/memwick/uploads");
  settingsWindow.linkUploads(uploads);
  const mw::shell::Tray tray(program, [&settingsWindow] { settingsWindow.open(); });
  // The summon key toggles the window from wherever the user is; what keeps it from working is
  // said in the settings window, with how to bind `memwick --toggle` instead.
  mw::platform::GlobalShortcut shortcut;
  QObject::connect(&shortcut, &mw::platform::GlobalShortcut::activated, &app,
                   [&program](const QByteArray& token, quint32 x11Time) {
                     mw::shell::toggleWindow(program, {token, x11Time});
                   });
  QObject::connect(&shortcut, &mw::platform::GlobalShortcut::changed, &settingsWindow,
                   [&] { settingsWindow.setShortcutProblem(shortcut.problem()); });
  QObject::connect(&settingsWindow, &mw::shell::SettingsWindow::shortcutChanged, &shortcut,
                   &mw::platform::GlobalShortcut::bind);
  shortcut.bind(settingsWindow.shortcut());
  settingsWindow.setShortcutProblem(shortcut.problem());
  // The program ends with its main window, or after it with the last window it left open: a
  // main window hidden to the tray or by a command keeps it, whatever else closes.
  app.setQuitOnLastWindowClosed(false);
  QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, [&program] {
    if (!program.main.主窗口->loaded()) QCoreApplication::quit();
  });
  program.start();
  mw::shell::takeRequest(program, arguments.request, true);
  running = &program;
  for (const mw::shell::Request& request : early) mw::shell::takeRequest(program, request);
  const int code = app.exec();
  running = nullptr;
  if (library) mw::shell::unlinkLibrary(program, *library);
  return code;
}
