#pragma once
// library: the picture library behind the search site; no widgets.
// A searchable library of the user's pictures: the favourites folder in use and any other
// folders, found by the words written on them and by their names. Folders are scanned and
// watched on a thread of the library's own; the words are read on background threads at low
// priority (at most one fewer than the cores, at least one), each with a helper process of its
// own at idle priority that holds the engine and goes as soon as nothing is left to read. A
// helper that fails is started again after a pause, for as long as pictures wait.
// Searches answer at once from what is indexed so far, without waiting for the writing.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/picture_reader.h"

namespace mw::library {

struct LibraryOptions {
  // The index file; empty: $XDG_CACHE_HOME/memwick/library.sqlite.
  std::string indexFile;
  // Reading threads; 0: one fewer than the cores, at least one.
  int readers = 0;
  // How often the folders are looked over for changes the watcher did not report.
  int rescanMs = 5000;
  ReaderOptions reader;
};

// How far reading has come: `done` of `total` pictures since the last time nothing was left.
struct LibraryProgress {
  int done = 0;
  int total = 0;
  // Why reading stands still for now, as "waiting to retry in 4 s: the word reader crashed
  // (Segmentation fault)"; empty while it goes on.
  std::string waiting;
  // Why no word can be read at all (no word reader beside the program nor installed), for the
  // log: the pictures are found by their names only, and wait to be read once there is one.
  // Empty when words can be read.
  std::string noReader;
  bool busy() const { return done < total; }
};

// A folder given to the library, as the last look over it found it.
struct FolderState {
  std::string folder;   // as given
  std::string problem;  // why it cannot be used, for the user (UTF-8); empty when it can
  int pictures = 0;
  int read = 0;  // of them: their words read, or found by their names only for their own fault
  bool operator==(const FolderState&) const = default;
};

struct LibraryMatch {
  std::string folder;    // the address name of its library folder ("favourites", "1", "2", ...)
  std::string relative;  // its path below that folder
  std::string name;      // its file name as text (UTF-8, see nameText)
  long long mtimeNs = 0;
};

class Library {
 public:
  explicit Library(LibraryOptions options = {});
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Opens the index and starts watching; false with `error` set when the index cannot be opened.
  // Returns at once: the first scan runs in the background.
  bool start(std::string* error = nullptr);

  // The folders given to the program; searched with their subfolders, named "1", "2", ... in
  // addresses. A folder added is looked over at once; the pictures of one taken away go.
  void setFolders(const std::vector<std::string>& folders);
  // The folders given, in order. Cheap: kept up to date by the looks over them and the reading.
  std::vector<FolderState> folderStates() const;
  // The favourites folder in use (empty: none); named "favourites" in addresses.
  void setFavouritesFolder(const std::string& folder);

  // The pictures whose text or names hold `keyword` (UTF-8), newest first.
  std::vector<LibraryMatch> find(const std::string& keyword);
  // The file behind a picture's address parts, when that is a picture of the library.
  std::optional<std::string> file(const std::string& folder, const std::string& relative);

  LibraryProgress progress() const;
  // Called, on a library thread, whenever progress changes. Once this returns, the callback
  // given before is no longer running.
  void onProgress(std::function<void(LibraryProgress)> callback);

  // Reading threads running now.
  int runningReaders() const;

  // $XDG_CACHE_HOME/memwick/library.sqlite
  static std::string defaultIndexFile();

 private:
  void rescanSoon();
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace mw::library
