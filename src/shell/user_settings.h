#pragma once
// The program's own settings in MW_scdz.ini, beside the favourites folder's section, through the
// INI code that keeps every other line and replaces the file atomically:
//   [设置] 呼出快捷键  the summon shortcut as Qt spells a key sequence ("Ctrl+Alt+M"); empty: none
//          复制后隐藏  1: a left-click copy hides the main window
//   [图库] 目录1, 目录2, ...  the library's folders
//   [团队] 服务器  a shared collection's server ("host[:port]" or an http/https address)
//          令牌    the member's token there; with both set, each saved picture is uploaded
#include <string>
#include <vector>

#include "runtime/text.h"

namespace mw::shell {

inline const Text kDefaultShortcut = "Ctrl+Alt+M";

struct UserSettings {
  Text shortcut = kDefaultShortcut;
  bool hideAfterCopy = false;
  // Stored paths, relative ones resolved against the settings' folder; one that is no GBK text
  // (mend 16) counts as missing.
  TextArray libraryFolders;
  Text teamServer;
  Text teamToken;
};

// What `file` holds, the default for what it does not; `settingsFolder` resolves relative folders.
UserSettings readUserSettings(const Text& file, const Text& settingsFolder);

// Each false, the file as it was, when it cannot be written; folders must be storable paths.
bool storeShortcut(const Text& file, const Text& keys);
bool storeHideAfterCopy(const Text& file, bool on);
bool storeLibraryFolders(const Text& file, const TextArray& folders);
// The file is then readable by its owner only: it holds the token.
bool storeTeam(const Text& file, const Text& server, const Text& token);

}  // namespace mw::shell
