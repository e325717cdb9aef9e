#pragma once
// The picture index: one SQLite file, each picture keyed by its path, size and modification
// time, with the words read on it and its names as word pieces in an FTS5 table. Safe to use
// from several threads; another process may share the file. Searches have a connection of
// their own, so that they never wait for a write (a kept index is in WAL mode).
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ocr/protocol.h"

struct sqlite3;

namespace mw::library {

// A picture file as the folder shows it. Paths are the file system's bytes.
struct FileKey {
  std::string path;
  long long size = 0;
  long long mtimeNs = 0;
  bool operator==(const FileKey&) const = default;
};

enum class ReadState : int {
  Pending = 0,   // found by its names; its words are still to be read
  Read = 1,      // its words were read
  NameOnly = 2,  // could not be read (undecodable, too large): found by its names only
};

struct StoredPicture {
  FileKey key;
  ReadState state = ReadState::Pending;
  int reader = 0;  // the version of the reader that read it (ocr::kReaderVersion); 0: none yet
};

struct FoundPicture {
  std::string path;
  long long mtimeNs = 0;
};

class IndexStore {
 public:
  // Opens or creates the index (":memory:" for one that is not kept); null with `error` set
  // when that fails. An index of an older layout is brought up to date in place when it can be
  // (its words kept, to be read again), else started afresh.
  static std::unique_ptr<IndexStore> open(const std::string& file, std::string* error = nullptr);
  ~IndexStore();
  IndexStore(const IndexStore&) = delete;
  IndexStore& operator=(const IndexStore&) = delete;

  // Every picture stored under `folder` (its subfolders included).
  std::vector<StoredPicture> picturesUnder(const std::string& folder);

  // New or changed pictures, found by `names` (file name, folder names) until their words are
  // read. Written in short transactions, so that other writers get their turn.
  struct NewPicture {
    FileKey key;
    std::vector<std::string> names;
  };
  void putNames(const std::vector<NewPicture>& pictures);
  // The words read on a picture by the reader of version `reader`, kept only while the stored key
  // is still `key` (the file did not change meanwhile). They replace the words read before.
  void putWords(const FileKey& key, const std::vector<std::string>& words, ReadState state,
                int reader = ocr::kReaderVersion);
  // The picture keeps the words it has, counted as read by the reader of version `reader`.
  void putReader(const FileKey& key, int reader);
  void remove(const std::vector<std::string>& paths);

  // The pictures whose words or names hold `keyword`, newest first.
  std::vector<FoundPicture> find(const std::string& keyword);
  // The words stored for a picture ('\n' between texts); empty when unknown.
  std::string words(const std::string& path);
  long long size();
  // Gives back the memory the connection caches (when the library goes idle).
  void releaseMemory();
  // Writes what the write-ahead log holds into the index and empties the log: after large
  // changes (done by the calls above themselves) and when the library goes idle.
  void shrinkLog();

 private:
  IndexStore(sqlite3* db, sqlite3* searching) : db_(db), searching_(searching) {}
  std::mutex mutex_;  // for db_
  sqlite3* db_;
  std::mutex searchMutex_;  // for searching_
  sqlite3* searching_;      // read only; null for an index in memory, which db_ searches
};

}  // namespace mw::library
