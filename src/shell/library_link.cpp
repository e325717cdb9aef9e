#include "shell/library_link.h"

#include <QMetaObject>

#include "browse/search.h"
#include "runtime/files.h"

namespace mw::shell {

void linkLibrary(Program& program, library::Library& library) {
  // Start-up reads the folder and 更改收藏目录 changes it, both in handlers.
  program.registry.afterEachHandler([&library, followed = Text()](const forms::Context& ctx) mutable {
    const Text& folder = ctx.state.favourites.favouritesFolder;
    if (folder == followed) return;
    followed = folder;
    library.setFavouritesFolder(folder.empty() ? std::string() : runtime::nativePath(folder));
  });
  // Reported on the library's threads; shown on the window's.
  QWidget* window = program.main.主窗口;
  const forms::Context& ctx = program.registry.context();
  library.onProgress([window, &ctx](library::LibraryProgress p) {
    QMetaObject::invokeMethod(
        window, [&ctx, p] { browse::showLibraryProgress(ctx, p.done, p.total, !p.waiting.empty()); });
  });
}

void unlinkLibrary(Program& program, library::Library& library) {
  library.onProgress(nullptr);
  program.registry.afterEachHandler(nullptr);
}

}  // namespace mw::shell
