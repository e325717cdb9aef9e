#pragma once
// What a handler works on, without a running program: the windows, the state, the sites and
// a scripted desktop, with the context over them.
#include <string>

#include "forms/context.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace mw::test {

// Every site at `base` ("http://host:port").
inline net::SiteSettings sitesAt(const std::string& base) {
  const std::string host = base.substr(std::string("http://").size());
  net::SiteSettings s;
  s.templateHost = s.searchHost = s.homeHost = s.announcementHost = s.probeHost = s.shareHost = s.groupHost =
      host;
  return s;
}

struct HandlerParts {
  forms::MainForm main{formPicture};
  forms::UpdateForm update{formPicture};
  forms::TipForm tip{formPicture};
  forms::ProgramState state;
  net::SiteSettings sites;
  ScriptedDesktop desktop;
  TempFolder runtimeFolder;
  runtime::ProgramPlaces places{{}, {}, privateFolderIn(runtimeFolder)};
  runtime::PictureFiles pictureFiles{places.privateFolder};
  forms::Context context{main, update, tip, state, sites, desktop, places, pictureFiles};

  std::vector<Text> messages() const {
    std::vector<Text> out;
    for (const auto& c : desktop.calls)
      if (c.what == "messageBox") out.push_back(c.text);
    return out;
  }
};

}  // namespace mw::test
