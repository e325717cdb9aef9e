#pragma once
// The pictures of a library folder as the disk shows them, and the safe way back from an
// address to one of them. Paths are the file system's bytes (names need not be UTF-8).
#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/index_store.h"

namespace mw::library {

struct ScannedPicture {
  FileKey key;
  // Its name without the extension, then its folders below the root, as text (see nameText).
  std::vector<std::string> names;
};

struct FolderScan {
  std::vector<ScannedPicture> pictures;
  std::vector<std::string> folders;  // the root and every folder below it that was read
  // What could not be looked at now, though it is there: a folder that could not be opened or
  // listed to its end, an entry that could not be examined. What was below them may still be.
  std::vector<std::string> unreadable;
  int rootError = 0;  // why the root itself could not be read; 0 when it was
};

// True for the picture files a library holds: .jpg .jpeg .png .gif .bmp .webp .avif, in any case.
bool isPictureName(std::string_view name);

// Every picture below `root` (a canonical path), subfolders included. Hidden entries are left
// out, folder links are not followed (no loop, nothing outside), and a file link counts only
// when it ends inside the root and in no hidden part of it. Entries that cannot be read are
// listed as such. `skipNames` are left out of the root folder itself.
FolderScan scanFolder(const std::string& root, const std::vector<std::string>& skipNames = {});

// The file `relative` names below `root` (a canonical path), when it is a picture the scan
// would list: no "..", "." or hidden part, and no link that leads outside the root or into a
// hidden part of it. Its bytes are not looked at: whoever reads them checks they are a picture.
std::optional<std::string> pictureBelow(const std::string& root, std::string_view relative);

// The key of the file at `path` now, following a link; nothing when it cannot be read.
std::optional<FileKey> fileKeyOf(const std::string& path);

// True when `path` lies below the folder `root` (both canonical).
bool isBelow(const std::string& path, const std::string& root);

// The canonical form of a folder path; empty when it does not exist, is no folder (`error` is
// then ENOENT or ENOTDIR) or cannot be looked at (another errno).
std::string canonicalFolder(const std::string& folder, int* error = nullptr);

// True when what errno `error` says of an entry is that it is not there.
inline bool isGone(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace mw::library
