#include "site/collection.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <tuple>

#include "library/words.h"
#include "site/postgres.h"

namespace mw::site {
namespace {

// Any one key of our own: every node takes it while it brings the schema up to date.
constexpr char kSchemaLock[] = "SELECT pg_advisory_lock(7310034001)";
constexpr char kSchemaUnlock[] = "SELECT pg_advisory_unlock(7310034001)";
constexpr char kVersionTable[] = "CREATE TABLE IF NOT EXISTS memwick_schema(version integer NOT NULL)";
constexpr char kVersion[] = "SELECT coalesce(max(version), 0) FROM memwick_schema";

// Version 1. A picture's `pieces` are its words' pieces followed by its names' (`name_pieces`),
// with their positions: a keyword is the phrase of its pieces.
constexpr char kSchema1[] = R"(
CREATE TABLE pictures(
  seq bigserial UNIQUE,
  id text PRIMARY KEY CHECK (id ~ '^[0-9a-f]{64}$'),
  ext text NOT NULL,
  uploader text NOT NULL,
  title text NOT NULL,
  created timestamptz NOT NULL DEFAULT now(),
  state smallint NOT NULL DEFAULT 0,
  words text NOT NULL DEFAULT '',
  name_pieces tsvector NOT NULL,
  pieces tsvector NOT NULL);
-- Searches far outnumber uploads: no pending list that every search would scan.
CREATE INDEX pictures_pieces ON pictures USING gin(pieces) WITH (fastupdate = off);
CREATE INDEX pictures_newest ON pictures(created DESC, seq DESC);
CREATE TABLE jobs(
  seq bigserial UNIQUE,
  picture text PRIMARY KEY REFERENCES pictures(id) ON DELETE CASCADE,
  attempts integer NOT NULL DEFAULT 0,
  leased_until timestamptz);
INSERT INTO memwick_schema VALUES (1);
)";
// Version 2: a count of the changes to the pictures, in the transaction that makes each, so
// that a node may keep the answers to searches while it stays the same.
constexpr char kSchema2[] = R"(
CREATE TABLE picture_changes(n bigint NOT NULL);
INSERT INTO picture_changes VALUES (0);
CREATE FUNCTION picture_changed() RETURNS trigger LANGUAGE plpgsql AS
  $$BEGIN UPDATE picture_changes SET n = n + 1; RETURN NULL; END$$;
CREATE TRIGGER pictures_changed AFTER INSERT OR UPDATE OR DELETE ON pictures
  FOR EACH ROW EXECUTE FUNCTION picture_changed();
INSERT INTO memwick_schema VALUES (2);
)";
// Migration N brings the schema from version N - 1 to N (and records N), in the transaction
// that reads the version; a database at version V takes those after V, in order.
using Migration = pg::Result (*)(pg::Connection&);
const Migration kMigrations[] = {[](pg::Connection& c) { return c.exec(kSchema1); },
                                 [](pg::Connection& c) { return c.exec(kSchema2); }};
constexpr long long kKnownVersion = std::size(kMigrations);

constexpr char kRecordColumns[] =
    "id, ext, uploader, title, (extract(epoch FROM created) * 1000000)::bigint, state, words";

struct Statement {
  const char* name;
  std::string sql;
};

// Prepared on every connection of the pool.
const std::vector<Statement>& statements() {
  static const std::vector<Statement> list{
      {"add",
       "WITH added AS (INSERT INTO pictures(id, ext, uploader, title, name_pieces, pieces) "
       "VALUES ($1, $2, $3, $4, $5::tsvector, $5::tsvector) ON CONFLICT (id) DO NOTHING RETURNING id) "
       "INSERT INTO jobs(picture) SELECT id FROM added RETURNING picture"},
      {"find", std::string("SELECT ") + kRecordColumns + " FROM pictures WHERE id = $1"},
      {"remove", "DELETE FROM pictures WHERE id = $1 AND uploader = $2 RETURNING id"},
      // Every match is counted, so all of them are read: through the GIN index, never by
      // walking the newest first and testing each picture (which the planner would pick to
      // spare the sort of a common keyword's matches). Only the order's columns of the matches
      // are kept and sorted; the page's few rows are read again for the rest.
      {"search",
       "WITH found AS MATERIALIZED (SELECT seq, created FROM pictures WHERE pieces @@ $1::tsquery), "
       "page AS (SELECT seq, created FROM found ORDER BY created DESC, seq DESC LIMIT $2 OFFSET $3) "
       "SELECT p.id, p.ext, p.uploader, p.title, (extract(epoch FROM p.created) * 1000000)::bigint, p.state, "
       "'', (SELECT count(*) FROM found), (SELECT n FROM picture_changes) "
       "FROM page JOIN pictures p USING (seq) ORDER BY page.created DESC, page.seq DESC"},
      {"changes", "SELECT n FROM picture_changes"},
      {"count_matches", "SELECT count(*) FROM pictures WHERE pieces @@ $1::tsquery"},
      {"take",
       "UPDATE jobs SET attempts = attempts + 1, leased_until = now() + $1 * interval '1 millisecond' "
       "WHERE picture = (SELECT picture FROM jobs WHERE leased_until IS NULL OR leased_until < now() "
       "ORDER BY seq LIMIT 1 FOR UPDATE SKIP LOCKED) "
       "RETURNING picture, attempts, (SELECT ext FROM pictures WHERE id = jobs.picture)"},
      {"finish",
       "WITH done AS (DELETE FROM jobs WHERE picture = $1) "
       "UPDATE pictures SET words = $2, state = $3, pieces = $4::tsvector || name_pieces WHERE id = $1"},
      {"release", "UPDATE jobs SET leased_until = NULL, attempts = attempts - $2 WHERE picture = $1"},
      {"health", "SELECT 1"},
      {"pictures", "SELECT count(*) FROM pictures"},
      {"jobs", "SELECT count(*) FROM jobs"},
  };
  return list;
}

// A lexeme of tsvector or tsquery input, quoted: the pieces go in as they are, past the text
// search parser.
std::string quoted(const std::string& piece) {
  std::string out(1, '\'');
  for (const char c : piece) {
    if (c == '\'' || c == '\\') out += c == '\'' ? '\'' : '\\';
    out += c;
  }
  return out + '\'';
}

// The texts' pieces with their positions ("'我太':1 '太难':2 ..."); past the last position
// PostgreSQL keeps, pieces are left out rather than stacked on one place.
std::string piecesVector(const std::vector<std::string>& texts) {
  constexpr std::size_t kLastPosition = 16383;
  const std::vector<std::string> pieces = library::pieceList(texts);
  std::string out;
  for (std::size_t i = 0; i < std::min(pieces.size(), kLastPosition); ++i) {
    if (i > 0) out += ' ';
    out += quoted(pieces[i]) + ':' + std::to_string(i + 1);
  }
  return out;
}

PictureRecord recordOf(const pg::Result& r, int row) {
  return {r.text(row, 0), r.text(row, 1),    r.text(row, 2),
          r.text(row, 3), r.integer(row, 4), static_cast<WordsState>(r.integer(row, 5)),
          r.text(row, 6)};
}

}  // namespace

struct Collection::Impl {
  CollectionOptions options;
  std::mutex mutex;
  std::condition_variable returned;
  std::vector<std::unique_ptr<pg::Connection>> idle;
  int opened = 0;  // connections out of the pool or in it

  // Pages found at `changes`, the count of changes they were found at, by (query, offset, limit);
  // and the pages being found, with the count they were asked at, which later askers at the
  // same count wait for rather than search the same again.
  using PageKey = std::tuple<std::string, long long, int>;
  std::mutex cacheMutex;
  long long changes = -1;
  std::map<PageKey, SearchPage> pages;
  std::map<PageKey, std::pair<long long, std::shared_future<std::optional<SearchPage>>>> finding;

  // A connection of the pool for one call; a connection that broke is dropped on return, and
  // the next call opens a fresh one.
  class Lease {
   public:
    Lease(Impl& impl, std::unique_ptr<pg::Connection> c) : impl_(impl), c_(std::move(c)) {}
    ~Lease() { impl_.giveBack(std::move(c_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    pg::Connection* operator->() { return c_.get(); }
    pg::Connection& operator*() { return *c_; }

   private:
    Impl& impl_;
    std::unique_ptr<pg::Connection> c_;
  };

  std::optional<Lease> lease(std::string* error = nullptr) {
    std::unique_lock lock(mutex);
    returned.wait(lock, [this] { return !idle.empty() || opened < options.connections; });
    if (!idle.empty()) {
      std::unique_ptr<pg::Connection> c = std::move(idle.back());
      idle.pop_back();
      return std::optional<Lease>(std::in_place, *this, std::move(c));
    }
    ++opened;
    lock.unlock();
    std::unique_ptr<pg::Connection> c = connect(error);
    if (!c) {
      giveBack(nullptr);
      return std::nullopt;
    }
    return std::optional<Lease>(std::in_place, *this, std::move(c));
  }

  void giveBack(std::unique_ptr<pg::Connection> c) {
    {
      const std::lock_guard lock(mutex);
      if (c && c->usable())
        idle.push_back(std::move(c));
      else
        --opened;
    }
    returned.notify_one();
  }

  // Runs a prepared statement on a connection of the pool. A connection that broke (the server
  // restarted) is replaced and the statement run once more; nullopt, with `error`, when it
  // failed all the same.
  std::optional<pg::Result> run(const char* name, std::initializer_list<pg::Param> params = {},
                                std::string* error = nullptr) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::optional<Lease> c = lease(error);
      if (!c) return std::nullopt;
      pg::Result r = (*c)->run(name, params);
      if (r.ok()) return r;
      if (error) *error = r.error();
      if ((*c)->usable()) break;
    }
    return std::nullopt;
  }

  // The page of the query's matches, with the count of changes its snapshot read in `foundAt`
  // (-1 for a page with no row to carry it).
  std::optional<SearchPage> search(const std::string& query, long long offset, int limit,
                                   long long& foundAt) {
    const std::optional<pg::Result> r = run("search", {query, limit, offset});
    if (!r) return std::nullopt;
    SearchPage page;
    for (int i = 0; i < r->rows(); ++i) page.pictures.push_back(recordOf(*r, i));
    if (r->rows() > 0) {
      page.total = r->integer(0, 7);
      foundAt = r->integer(0, 8);
    } else if (offset > 0 || limit == 0) {
      // A page past the last (or of none) has no row to carry the count.
      const std::optional<pg::Result> n = run("count_matches", {query});
      if (!n) return std::nullopt;
      page.total = n->integer(0, 0);
    }
    return page;
  }

  std::unique_ptr<pg::Connection> connect(std::string* error) {
    std::unique_ptr<pg::Connection> c = pg::Connection::open(options.uri, 5, error);
    if (!c) return nullptr;
    for (const Statement& s : statements()) {
      if (!c->prepare(s.name, s.sql.c_str(), error)) return nullptr;
    }
    return c;
  }
};

Collection::Collection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Collection::~Collection() = default;

std::unique_ptr<Collection> Collection::open(const CollectionOptions& options, std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->options = options;
  impl->options.connections = std::max(1, options.connections);
  std::unique_ptr<pg::Connection> c = pg::Connection::open(options.uri, 5, error);
  if (!c) return nullptr;
  auto fail = [&](const std::string& what, const pg::Result& r) -> std::unique_ptr<Collection> {
    if (error) *error = what + ": " + r.error();
    while (error && !error->empty() && error->back() == '\n') error->pop_back();
    return nullptr;
  };
  // Held until this connection closes, should anything below fail.
  if (const pg::Result r = c->exec(kSchemaLock); !r.ok()) return fail("cannot lock the schema", r);
  {
    pg::Transaction t(*c);
    if (const pg::Result r = c->exec(kVersionTable); !r.ok()) return fail("cannot create the schema", r);
    const pg::Result v = c->exec(kVersion);
    if (!v.ok() || v.rows() != 1) return fail("cannot read the schema's version", v);
    const long long version = v.integer(0, 0);
    if (version > kKnownVersion) {
      if (error)
        *error = "the database's schema (version " + std::to_string(version) +
                 ") is newer than this memwick-site knows (" + std::to_string(kKnownVersion) + ")";
      return nullptr;
    }
    for (long long next = version + 1; next <= kKnownVersion; ++next) {
      if (const pg::Result r = kMigrations[next - 1](*c); !r.ok())
        return fail("cannot bring the schema to version " + std::to_string(next), r);
    }
    if (!t.commit()) return fail("cannot create the schema", c->exec("SELECT 1"));
  }
  c->exec(kSchemaUnlock);
  std::unique_ptr<pg::Connection> first = impl->connect(error);
  if (!first) return nullptr;
  impl->idle.push_back(std::move(first));
  impl->opened = 1;
  return std::unique_ptr<Collection>(new Collection(std::move(impl)));
}

Collection::Added Collection::add(const NewPicture& p, std::string* error) {
  if (!isPictureId(p.id)) {
    if (error) *error = "not a picture id";
    return Added::Failed;
  }
  const std::string title = p.title.empty() ? p.uploader : p.title;
  const std::optional<pg::Result> r =
      impl_->run("add", {p.id, p.ext, p.uploader, title, piecesVector({p.uploader, p.title})}, error);
  return !r ? Added::Failed : r->rows() == 1 ? Added::New : Added::Held;
}

std::optional<PictureRecord> Collection::find(const std::string& id, bool* reachable) {
  if (reachable) *reachable = true;
  if (!isPictureId(id)) return std::nullopt;
  const std::optional<pg::Result> r = impl_->run("find", {id});
  if (reachable) *reachable = r.has_value();
  if (!r || r->rows() == 0) return std::nullopt;
  return recordOf(*r, 0);
}

Collection::Removed Collection::remove(const std::string& id, const std::string& uploader) {
  if (!isPictureId(id)) return Removed::NotFound;
  const std::optional<pg::Result> r = impl_->run("remove", {id, uploader});
  if (!r) return Removed::Failed;
  if (r->rows() == 1) return Removed::Gone;
  bool reachable = true;
  const bool there = find(id, &reachable).has_value();
  return !reachable ? Removed::Failed : there ? Removed::NotYours : Removed::NotFound;
}

bool Collection::healthy() { return impl_->run("health").has_value(); }

std::optional<SearchPage> Collection::search(const std::string& keyword, long long offset, int limit) {
  const std::string query = piecesQuery(keyword);
  if (query.empty()) return SearchPage{};
  long long foundAt = -1;
  if (impl_->options.keptPages == 0) return impl_->search(query, offset, limit, foundAt);
  // A kept page serves while the pictures have not changed since it was found: the count read
  // now follows every change committed before this search began, on any node.
  const std::optional<pg::Result> now = impl_->run("changes");
  if (!now) return std::nullopt;
  const Impl::PageKey key{query, offset, limit};
  std::promise<std::optional<SearchPage>> promise;
  std::shared_future<std::optional<SearchPage>> other;
  long long askedAt = 0;
  {
    const std::lock_guard lock(impl_->cacheMutex);
    if (now->integer(0, 0) != impl_->changes) {
      impl_->pages.clear();
      impl_->changes = now->integer(0, 0);
    } else if (const auto kept = impl_->pages.find(key); kept != impl_->pages.end()) {
      return kept->second;
    }
    askedAt = impl_->changes;
    const auto f = impl_->finding.find(key);
    if (f != impl_->finding.end() && f->second.first == askedAt)
      other = f->second.second;
    else
      impl_->finding.insert_or_assign(key, std::make_pair(askedAt, promise.get_future().share()));
  }
  if (other.valid()) return other.get();
  std::optional<SearchPage> page = impl_->search(query, offset, limit, foundAt);
  {
    const std::lock_guard lock(impl_->cacheMutex);
    // Kept under the count its own snapshot read, and only while that is the newest seen.
    if (page && foundAt == impl_->changes) {
      if (impl_->pages.size() >= impl_->options.keptPages) impl_->pages.clear();
      impl_->pages.emplace(key, *page);
    }
    if (const auto f = impl_->finding.find(key); f != impl_->finding.end() && f->second.first == askedAt)
      impl_->finding.erase(f);
  }
  promise.set_value(page);
  return page;
}

std::optional<WordsJob> Collection::takeJob() {
  for (;;) {
    const std::optional<pg::Result> r =
        impl_->run("take", {static_cast<long long>(impl_->options.jobLease.count())});
    if (!r || r->rows() == 0) return std::nullopt;
    WordsJob job{r->text(0, 0), r->text(0, 2), int(r->integer(0, 1))};
    if (job.attempt <= impl_->options.jobAttempts) return job;
    // Taken as often as it may be, and never done: found by its names from now on.
    finishJob(job.id, {}, WordsState::NameOnly);
  }
}

bool Collection::finishJob(const std::string& id, const std::vector<std::string>& words, WordsState state) {
  std::string joined;
  for (const std::string& w : words) joined += (joined.empty() ? "" : "\n") + w;
  return impl_->run("finish", {id, joined, int(state), piecesVector(words)}).has_value();
}

bool Collection::releaseJob(const std::string& id, bool counted) {
  return impl_->run("release", {id, counted ? 0 : 1}).has_value();
}

long long Collection::pictureCount() {
  const std::optional<pg::Result> r = impl_->run("pictures");
  return r ? r->integer(0, 0) : -1;
}

long long Collection::jobCount() {
  const std::optional<pg::Result> r = impl_->run("jobs");
  return r ? r->integer(0, 0) : -1;
}

std::string piecesQuery(const std::string& keyword) {
  const std::vector<std::string> pieces = library::keywordPieces(keyword);
  if (pieces.empty()) return {};
  if (pieces.size() == 1 && library::pieceList({pieces[0]}).size() == 1) return quoted(pieces[0]) + ":*";
  std::string out;
  for (const std::string& p : pieces) out += (out.empty() ? "" : " <-> ") + quoted(p);
  return out;
}

bool isPictureId(const std::string& id) {
  return id.size() == 64 && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string picturePath(const std::string& id, const std::string& ext) {
  return "/pictures/" + id + "." + ext;
}

}  // namespace mw::site
