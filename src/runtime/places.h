#pragma once
// Where the program keeps its files. A portable copy (a build folder, an unpacked folder, as the
// program was made for) keeps its settings and favourites beside itself; an installed copy
// keeps them in the user's own places, whoever runs it. Paths are program texts (GBK).
#include <string>
#include <string_view>

#include "runtime/text.h"

namespace mw::runtime {

struct ProgramPlaces {
  Text settingsFolder;      // holds MW_scdz.ini and MW_sites.ini
  Text favouritesFolder;    // the favourites folder when the settings name none
  Text privateFolder = {};  // the pictures handed out (privateFolder()); empty: none can be

  Text settingsFile() const { return settingsFolder + "/MW_scdz.ini"; }
};

// The user's own folders as the desktop names them (the shell reads them), paths as the system
// spells them.
struct UserFolders {
  std::string config;        // $XDG_CONFIG_HOME, else ~/.config
  std::string pictures;      // the pictures folder of the user's XDG folders, else ~/Pictures
  std::string runtime = {};  // $XDG_RUNTIME_DIR; empty when there is none
  std::string cache = {};    // $XDG_CACHE_HOME, else ~/.cache
};

// For the running executable (programDirectory()).
ProgramPlaces programPlaces(const UserFolders& user);
// For a program in `programFolder`: that folder and programFolder + "/我的收藏" for a portable
// copy; for an installed one user.config + "/memwick" (made when missing) and user.pictures +
// "/我的收藏". Either way the private folder of `user`.
ProgramPlaces programPlacesFor(std::string_view programFolder, const UserFolders& user);

// A program in `programFolder` is an installed copy when the folder lies below /usr or below
// `installPrefix` (the one this build installs to). Never decided by what the folder lets us
// write: root may write anywhere, and packaged files must not gain neighbours.
bool installedCopy(std::string_view programFolder, std::string_view installPrefix);

// A folder of ours that only this user can enter (mode 0700): memwick in the user's runtime
// folder, or in the cache folder when there is no runtime folder or its memwick cannot serve.
// Made when missing, its mode narrowed when wider; empty when it cannot be had safely (not
// ours, a link, a file) or `user` names neither folder.
Text privateFolder(const UserFolders& user);

}  // namespace mw::runtime
