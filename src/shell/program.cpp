#include "shell/program.h"

#include <utility>

#include "actions/captioning.h"
#include "actions/clipboard.h"
#include "actions/editor.h"
#include "actions/favourites.h"
#include "browse/paging.h"
#include "browse/search.h"
#include "browse/template_list.h"
#include "shell/chrome.h"
#include "shell/startup.h"
#include "shell/tip_window.h"
#include "shell/update_window.h"
#include "toolkit/font_names.h"

namespace mw::shell {

Program::Program(const forms::PictureSource& pictures, net::SiteSettings siteSettings,
                 platform::Desktop& desktop, runtime::ProgramPlaces programPlaces)
    : sites(std::move(siteSettings)),
      places(std::move(programPlaces)),
      main(pictures),
      update(pictures),
      tip(pictures),
      pictureFiles(places.privateFolder),
      registry({main, update, tip, state, sites, desktop, places, pictureFiles}) {
  // The editor's font names and the windows' Chinese text; the windows built above follow.
  toolkit::useFontSubstitutes();
  bindChrome(registry, pictures);
  bindStartUp(registry, pictures);
  bindUpdateWindow(registry);
  bindTipWindow(registry);
  browse::bindSearch(registry);
  browse::bindTemplateList(registry);
  browse::bindPaging(registry);
  actions::bindClipboard(registry);
  actions::bindFavourites(registry);
  actions::bindCaptioning(registry);
  actions::bindEditor(registry);
}

void Program::start() { main.主窗口->load(); }

}  // namespace mw::shell
