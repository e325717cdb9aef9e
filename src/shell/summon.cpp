#include "shell/summon.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "browse/search.h"
#include "platform/qt_text.h"

namespace mw::shell {
namespace {

// How often a search asked at the program's start looks whether start-up has begun.
constexpr int kStartUpPollMs = 50;

// Runs `then` through the handlers' gate once the main window's start-up has begun: behind it.
void afterStartUp(Program& program, std::function<void(const forms::Context&)> then) {
  if (toolkit::hadFirstActivation(program.main.主窗口)) {
    program.registry.run(std::move(then));
    return;
  }
  QTimer::singleShot(kStartUpPollMs, program.main.主窗口, [&program, then = std::move(then)]() mutable {
    afterStartUp(program, std::move(then));
  });
}

// The word in 搜索框, as typed after the placeholder went, and a search as Enter does.
void searchWhenStarted(Program& program, const Text& word) {
  afterStartUp(program, [word](const forms::Context& ctx) {
    browse::removeSearchPlaceholder(ctx);
    ctx.main.搜索框->setText(word);
    browse::runSearch(ctx);
  });
}

}  // namespace

void showWindow(Program& program, const platform::Activation& activation) {
  auto& f = program.main;
  platform::activateWindow(f.主窗口, activation);
  // 搜索框 is on 主页: the page is entered as a press on 主页 enters it, behind a running handler.
  if (f.page() != forms::Page::Home) toolkit::deliver(f.主页, toolkit::Event::LeftDown);
  program.registry.run([](const forms::Context& ctx) {
    // The box's got-focus handler takes the placeholder away; what the user searched before is
    // selected, so that typing replaces it.
    ctx.main.搜索框->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(ctx.main.搜索框->editor())) line->selectAll();
  });
}

void hideWindow(Program& program) {
  program.main.气球提示框1->hideNow();
  program.main.主窗口->hide();
}

void toggleWindow(Program& program, const platform::Activation& activation) {
  const QWidget* window = program.main.主窗口;
  if (window->isVisible() && !window->isMinimized() && window->isActiveWindow()) {
    hideWindow(program);
  } else {
    showWindow(program, activation);
  }
}

void searchFor(Program& program, const Text& word, const platform::Activation& activation) {
  showWindow(program, activation);
  searchWhenStarted(program, word);
}

void quitProgram(Program& program) {
  program.main.主窗口->destroyWindow();
  // A hidden window's close leaves Qt nothing to notice; a window left open (the update
  // window) keeps the program, as it does after the close zone.
  for (const QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->testAttribute(Qt::WA_QuitOnClose) && w->windowType() != Qt::ToolTip &&
        w->windowType() != Qt::Popup)
      return;
  QCoreApplication::quit();
}

void takeRequest(Program& program, const Request& request, bool startedHere) {
  switch (request.command) {
    case Command::Start:
      if (!startedHere) showWindow(program, request.activation);
      break;
    case Command::Show:
      showWindow(program, request.activation);
      break;
    case Command::Hide:
      hideWindow(program);
      break;
    case Command::Toggle:
      if (!startedHere) toggleWindow(program, request.activation);
      break;
    case Command::Search:
      if (startedHere) {
        searchWhenStarted(program, platform::fromQString(request.word));
      } else {
        searchFor(program, platform::fromQString(request.word), request.activation);
      }
      break;
    case Command::Quit:
      quitProgram(program);
      break;
  }
}

}  // namespace mw::shell
