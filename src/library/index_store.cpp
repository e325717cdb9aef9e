#include "library/index_store.h"

#include <sqlite3.h>

#include <algorithm>

#include "library/words.h"

namespace mw::library {
namespace {

// Raised whenever the tables or the way words are read change: an index made otherwise is
// started afresh, unless it is of a layout brought up to date below.
constexpr int kLayout = 3;
// Layout 1 also marked names-only the pictures whose helper was killed from outside: every
// such mark is undone, and those pictures are read once more.
const char* const kFromLayout1 = "UPDATE pictures SET state = 0 WHERE state = 2";
// Layout 2 kept no reader version: its words count as read by none, so that they answer until
// the current reader has read each picture again.
const char* const kFromLayout2 = "ALTER TABLE pictures ADD COLUMN reader INTEGER NOT NULL DEFAULT 0";
// What the write-ahead log is cut back to whenever it starts over.
constexpr int kLogBytes = 1 << 20;

const char* const kSchema = R"(
CREATE TABLE pictures(
  id INTEGER PRIMARY KEY,
  path BLOB NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL,
  state INTEGER NOT NULL,
  words TEXT NOT NULL,
  reader INTEGER NOT NULL DEFAULT 0);
CREATE VIRTUAL TABLE pieces USING fts5(words, names, tokenize = 'unicode61 remove_diacritics 0');
)";

// One prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int i, long long v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Statement& bindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(s_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bindText(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  bool row() { return s_ && sqlite3_step(s_) == SQLITE_ROW; }
  bool run() {
    if (!s_) return false;
    const int rc = sqlite3_step(s_);
    sqlite3_reset(s_);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
  }
  void reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  long long integer(int i) { return sqlite3_column_int64(s_, i); }
  std::string blob(int i) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, i));
    return p ? std::string(p, std::size_t(sqlite3_column_bytes(s_, i))) : std::string();
  }
  std::string text(int i) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, i));
    return p ? std::string(p, std::size_t(sqlite3_column_bytes(s_, i))) : std::string();
  }

 private:
  sqlite3_stmt* s_ = nullptr;
};

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool hasColumn(sqlite3* db, const char* column) {
  Statement q(db, "SELECT 1 FROM pragma_table_info('pictures') WHERE name = ?1");
  q.bindText(1, column);
  return q.row();
}

// Pieces cut before Traditional characters were folded to Simplified: folded now, one character
// for one, they are what cutting the folded texts gives.
bool foldPieces(sqlite3* db) {
  struct Row {
    long long id;
    std::string words, names;
  };
  std::vector<Row> rows;
  {
    Statement q(db, "SELECT rowid, words, names FROM pieces");
    while (q.row()) {
      const std::string words = q.text(1), names = q.text(2);
      Row r{q.integer(0), simplifiedText(words), simplifiedText(names)};
      if (r.words != words || r.names != names) rows.push_back(std::move(r));
    }
  }
  Statement update(db, "UPDATE pieces SET words = ?2, names = ?3 WHERE rowid = ?1");
  for (const Row& r : rows) {
    if (!update.bind(1, r.id).bindText(2, r.words).bindText(3, r.names).run()) return false;
  }
  return true;
}

// A transaction that rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) { open_ = exec(db_, "BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (open_) exec(db_, "ROLLBACK");
  }
  void commit() {
    if (open_) exec(db_, "COMMIT");
    open_ = false;
  }

 private:
  sqlite3* db_;
  bool open_;
};

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    if (!out.empty()) out += '\n';
    out += t;
  }
  return out;
}

// Pictures written in one transaction, and so the longest the writer's lock is held for them.
constexpr std::size_t kBatch = 256;

// The first path after every path under `folder`: "/" is followed by "0" in byte order.
std::string pastFolder(const std::string& folder) { return folder + "0"; }

}  // namespace

std::unique_ptr<IndexStore> IndexStore::open(const std::string& file, std::string* error) {
  sqlite3* db = nullptr;
  auto fail = [&](const std::string& why) -> std::unique_ptr<IndexStore> {
    if (error) *error = why + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  };
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK)
    return fail("cannot open " + file);
  // Another process may be writing the same index: wait for it rather than fail.
  sqlite3_busy_timeout(db, 5000);
  exec(db, "PRAGMA journal_mode = WAL");
  exec(db, "PRAGMA synchronous = NORMAL");
  exec(db, ("PRAGMA journal_size_limit = " + std::to_string(kLogBytes)).c_str());
  int layout = 0;
  {
    Statement version(db, "PRAGMA user_version");
    if (version.row()) layout = int(version.integer(0));
  }
  if (layout != kLayout) {
    Transaction t(db);
    bool brought = false;
    if (layout == 1 || layout == 2)
      brought = (layout != 1 || exec(db, kFromLayout1)) &&
                (hasColumn(db, "reader") || exec(db, kFromLayout2)) && foldPieces(db);
    else
      brought = exec(db, "DROP TABLE IF EXISTS pieces") && exec(db, "DROP TABLE IF EXISTS pictures") &&
                exec(db, kSchema);
    if (!brought || !exec(db, ("PRAGMA user_version = " + std::to_string(kLayout)).c_str()))
      return fail("cannot create the index in " + file);
    t.commit();
  }
  sqlite3* searching = nullptr;
  if (file != ":memory:") {
    if (sqlite3_open_v2(file.c_str(), &searching, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) !=
        SQLITE_OK) {
      if (error) *error = "cannot open " + file + " for searching: " + sqlite3_errmsg(searching);
      sqlite3_close(searching);
      sqlite3_close(db);
      return nullptr;
    }
    sqlite3_busy_timeout(searching, 5000);
  }
  return std::unique_ptr<IndexStore>(new IndexStore(db, searching));
}

IndexStore::~IndexStore() {
  sqlite3_close(searching_);
  sqlite3_close(db_);
}

std::vector<StoredPicture> IndexStore::picturesUnder(const std::string& folder) {
  std::lock_guard lock(mutex_);
  Statement q(db_, "SELECT path, size, mtime, state, reader FROM pictures WHERE path >= ?1 AND path < ?2");
  q.bindBlob(1, folder + "/").bindBlob(2, pastFolder(folder));
  std::vector<StoredPicture> out;
  while (q.row())
    out.push_back(
        {{q.blob(0), q.integer(1), q.integer(2)}, static_cast<ReadState>(q.integer(3)), int(q.integer(4))});
  return out;
}

void IndexStore::putNames(const std::vector<NewPicture>& pictures) {
  for (std::size_t from = 0; from < pictures.size(); from += kBatch) {
    std::lock_guard lock(mutex_);
    Transaction t(db_);
    Statement upsert(
        db_,
        "INSERT INTO pictures(path, size, mtime, state, words) VALUES(?1, ?2, ?3, 0, '') "
        "ON CONFLICT(path) DO UPDATE SET size = ?2, mtime = ?3, state = 0, words = '', reader = 0 "
        "RETURNING id");
    Statement dropPieces(db_, "DELETE FROM pieces WHERE rowid = ?1");
    Statement addPieces(db_, "INSERT INTO pieces(rowid, words, names) VALUES(?1, '', ?2)");
    for (std::size_t i = from; i < std::min(from + kBatch, pictures.size()); ++i) {
      const NewPicture& p = pictures[i];
      upsert.bindBlob(1, p.key.path).bind(2, p.key.size).bind(3, p.key.mtimeNs);
      if (!upsert.row()) {
        upsert.reset();
        continue;
      }
      const long long id = upsert.integer(0);
      upsert.reset();
      dropPieces.bind(1, id).run();
      addPieces.bind(1, id).bindText(2, wordPieces(p.names)).run();
    }
    t.commit();
  }
  if (pictures.size() > kBatch) shrinkLog();
}

void IndexStore::putWords(const FileKey& key, const std::vector<std::string>& words, ReadState state,
                          int reader) {
  std::lock_guard lock(mutex_);
  Transaction t(db_);
  Statement update(db_,
                   "UPDATE pictures SET state = ?4, words = ?5, reader = ?6 "
                   "WHERE path = ?1 AND size = ?2 AND mtime = ?3 RETURNING id");
  update.bindBlob(1, key.path)
      .bind(2, key.size)
      .bind(3, key.mtimeNs)
      .bind(4, int(state))
      .bindText(5, joined(words))
      .bind(6, reader);
  if (!update.row()) return;
  const long long id = update.integer(0);
  update.reset();
  Statement pieces(db_, "UPDATE pieces SET words = ?2 WHERE rowid = ?1");
  pieces.bind(1, id).bindText(2, wordPieces(words)).run();
  t.commit();
}

void IndexStore::putReader(const FileKey& key, int reader) {
  std::lock_guard lock(mutex_);
  Statement update(db_, "UPDATE pictures SET reader = ?4 WHERE path = ?1 AND size = ?2 AND mtime = ?3");
  update.bindBlob(1, key.path).bind(2, key.size).bind(3, key.mtimeNs).bind(4, reader).run();
}

void IndexStore::remove(const std::vector<std::string>& paths) {
  for (std::size_t from = 0; from < paths.size(); from += kBatch) {
    std::lock_guard lock(mutex_);
    Transaction t(db_);
    Statement drop(db_, "DELETE FROM pictures WHERE path = ?1 RETURNING id");
    Statement dropPieces(db_, "DELETE FROM pieces WHERE rowid = ?1");
    for (std::size_t i = from; i < std::min(from + kBatch, paths.size()); ++i) {
      drop.bindBlob(1, paths[i]);
      if (drop.row()) dropPieces.bind(1, drop.integer(0)).run();
      drop.reset();
    }
    t.commit();
  }
  if (paths.size() > kBatch) shrinkLog();
}

void IndexStore::shrinkLog() {
  std::lock_guard lock(mutex_);
  // Waits (as long as the busy time-out) for searches still reading what the log holds.
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

std::vector<FoundPicture> IndexStore::find(const std::string& keyword) {
  const std::string query = pieceQuery(keyword);
  std::vector<FoundPicture> out;
  if (query.empty()) return out;
  std::lock_guard lock(searching_ ? searchMutex_ : mutex_);
  Statement q(searching_ ? searching_ : db_,
              "SELECT p.path, p.mtime FROM pieces JOIN pictures p ON p.id = pieces.rowid "
              "WHERE pieces MATCH ?1 ORDER BY p.mtime DESC, p.id DESC");
  q.bindText(1, query);
  while (q.row()) out.push_back({q.blob(0), q.integer(1)});
  return out;
}

std::string IndexStore::words(const std::string& path) {
  std::lock_guard lock(mutex_);
  Statement q(db_, "SELECT words FROM pictures WHERE path = ?1");
  q.bindBlob(1, path);
  return q.row() ? q.text(0) : std::string();
}

void IndexStore::releaseMemory() {
  {
    std::lock_guard lock(mutex_);
    sqlite3_db_release_memory(db_);
  }
  std::lock_guard lock(searchMutex_);
  if (searching_) sqlite3_db_release_memory(searching_);
}

long long IndexStore::size() {
  std::lock_guard lock(mutex_);
  Statement q(db_, "SELECT count(*) FROM pictures");
  return q.row() ? q.integer(0) : 0;
}

}  // namespace mw::library
