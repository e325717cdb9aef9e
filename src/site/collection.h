#pragma once
// A group's shared collection in PostgreSQL: each picture's record (named by the SHA-256 of its
// bytes; the bytes themselves are in the store of originals), its words, and a queue of jobs
// that read the words, shared by every node on the database. Safe to use from many threads:
// calls take a connection of a small pool, each with its statements prepared once.
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mw::site {

struct CollectionOptions {
  std::string uri;  // a libpq connection URI or key=value string
  // Connections kept open: searches and uploads wait for one when all are busy.
  int connections = 4;
  // How long a node may hold a job before another node takes it again.
  std::chrono::milliseconds jobLease{60000};
  // Taken this many times without its words being read, a picture is found by its names only.
  int jobAttempts = 3;
  // Search pages kept to be served again while the pictures stay the same; 0 keeps none.
  std::size_t keptPages = 4096;
};

enum class WordsState : int {
  Pending = 0,   // found by its uploader's name (and title) until its words are read
  Read = 1,      // its words were read
  NameOnly = 2,  // its words could not be read: found by its names only
};

struct PictureRecord {
  std::string id;           // 64 lowercase hex digits: the SHA-256 of its bytes
  std::string ext;          // of its file in the store: "png", "jpg", "gif", "webp", ...
  std::string uploader;     // the NAME of the token it came with
  std::string title;        // what results show (UTF-8); the uploader's name when none was given
  long long createdUs = 0;  // when it was first added, microseconds since 1970
  WordsState state = WordsState::Pending;
  std::string words;  // read on it, '\n' between texts (left empty in search results)
};

// A picture to add: its original is in the store already.
struct NewPicture {
  std::string id;
  std::string ext;
  std::string uploader;
  std::string title;  // may be empty
};

// A job handed to a node's reader, held under the lease until finished or released.
struct WordsJob {
  std::string id;
  std::string ext;
  int attempt = 1;  // 1 for the first time it is taken
};

struct SearchPage {
  long long total = 0;                  // every picture that matches
  std::vector<PictureRecord> pictures;  // those of the page asked for, newest first
};

class Collection {
 public:
  // Connects, creates or migrates the schema (under an advisory lock: nodes starting together
  // wait for one another), and keeps the pool. Null with `error` set when that fails.
  static std::unique_ptr<Collection> open(const CollectionOptions& options, std::string* error);
  ~Collection();
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  enum class Added { New, Held, Failed };
  // Records a picture and queues the job that reads its words, in one transaction. Held when a
  // picture of that id is there already (the record is left as it is); Failed, with `error`,
  // when the database could not take it. The id must be 64 lowercase hex digits.
  Added add(const NewPicture& picture, std::string* error = nullptr);

  // The record of a picture; nullopt when there is none (or the database is unreachable:
  // `reachable` tells them apart when given).
  std::optional<PictureRecord> find(const std::string& id, bool* reachable = nullptr);

  enum class Removed { Gone, NotFound, NotYours, Failed };
  // Removes the record (and its job) when `uploader` is the one who added it.
  Removed remove(const std::string& id, const std::string& uploader);

  // Whether the database answers now.
  bool healthy();

  // The pictures whose words or names hold `keyword` (UTF-8), newest first: `limit` of them
  // from `offset`, with the count of all. Nullopt when the database cannot be reached.
  std::optional<SearchPage> search(const std::string& keyword, long long offset, int limit);

  // Takes the oldest job that nobody holds (or whose lease ran out), under the lease. A job
  // taken jobAttempts times already is not handed out: its picture is marked NameOnly.
  std::optional<WordsJob> takeJob();
  // The words read: the picture is found by them from now on, and the job goes.
  bool finishJob(const std::string& id, const std::vector<std::string>& words, WordsState state);
  // The job could not be done now: it goes back at once, its attempt counted when that was the
  // picture's fault (not when the helper failed, or this node stops).
  bool releaseJob(const std::string& id, bool counted);

  // Pictures in the collection, and jobs waiting or held.
  long long pictureCount();
  long long jobCount();

 private:
  struct Impl;
  explicit Collection(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Whether `id` can name a picture: 64 lowercase hex digits, nothing else (no path).
bool isPictureId(const std::string& id);

// The tsquery a keyword is searched by: the phrase of its pieces, or the prefix its one
// character is; empty for none.
std::string piecesQuery(const std::string& keyword);

// Where the search site serves a picture's original: "/pictures/<id>.<ext>".
std::string picturePath(const std::string& id, const std::string& ext);

}  // namespace mw::site
