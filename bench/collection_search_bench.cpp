// The shared collection's search: the words as 2-character pieces in a tsvector with a GIN
// index (what memwick-site does), against pg_trgm's GIN index over the raw words, which has no
// trigram to look up for a keyword under 3 characters. Both on one throwaway PostgreSQL with
// the same pictures, each query answered with the count of all matches and the first page.
// Also against the statement memwick-site used before, which kept and sorted every match whole.
// Prints p50 and p95 per keyword length, and the counts found (which must agree).
// Usage: collection_search_bench [PICTURES [URI]] (default 20000, on a throwaway server; URI: an
// empty database of one's own instead)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "bench/collection_seed.h"
#include "site/postgres.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

constexpr char kTrigramTable[] = R"(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE TABLE trgm_words AS SELECT seq, id, ext, uploader, title, created, words || E'\n' || uploader AS text
  FROM pictures;
CREATE INDEX trgm_words_text ON trgm_words USING gin (text gin_trgm_ops);
ANALYZE;
)";

std::string likePattern(const std::string& keyword) {
  std::string out = "%";
  for (const char c : keyword) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  return out + "%";
}

// The former search statement, for comparison.
constexpr char kBeforeSearch[] =
    "WITH found AS MATERIALIZED (SELECT seq, id, ext, uploader, title, created, state FROM pictures "
    "WHERE pieces @@ $1::tsquery) "
    "SELECT id, ext, uploader, title, (extract(epoch FROM created) * 1000000)::bigint, state, '', "
    "count(*) OVER () FROM found ORDER BY created DESC, seq DESC LIMIT 20";

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc > 1 ? std::atoi(argv[1]) : 20000;
  std::optional<mw::test::ThrowawayPostgres> pg;
  if (argc <= 2 && !pg.emplace().error().empty()) return std::fprintf(stderr, "%s\n", pg->error().c_str()), 1;
  const std::string uri = argc > 2 ? argv[2] : pg->uri();
  std::string error;
  // Keeping no pages, so that every search runs its statement.
  const auto collection = mw::site::Collection::open({.uri = uri, .keptPages = 0}, &error);
  if (!collection) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  const Clock::time_point seeding = Clock::now();
  if (!mw::bench::seedCollection(*collection, pictures)) return std::fprintf(stderr, "seeding failed\n"), 1;
  std::printf("%d pictures seeded in %.1f s\n", pictures, msSince(seeding) / 1000);

  const auto c = mw::site::pg::Connection::open(uri, 5, &error);
  if (!c || !c->exec(kTrigramTable).ok() || !c->exec("ANALYZE pictures").ok() ||
      !c->prepare("trgm",
                  "SELECT id, ext, uploader, title, created, count(*) OVER () FROM trgm_words "
                  "WHERE text ILIKE $1 ORDER BY created DESC, seq DESC LIMIT 20",
                  &error) ||
      !c->prepare("before", kBeforeSearch, &error))
    return std::fprintf(stderr, "pg_trgm: %s %s\n", error.c_str(), c ? c->error().c_str() : ""), 1;

  const std::map<int, std::vector<std::string>> queries{
      {1, {"猫", "了", "鱼", "班", "香", "死"}},
      {2, {"猫咪", "下班", "摸鱼", "开心", "老板", "躺平"}},
      {3, {"我太难", "下班了", "熊猫头", "谢谢老", "打工人", "溜了溜"}},
  };
  constexpr int kRounds = 30;
  std::printf("%-6s %10s %10s %10s %10s %10s %10s %8s %8s\n", "chars", "pieces_p50", "pieces_p95",
              "before_p50", "before_p95", "trgm_p50", "trgm_p95", "speedup", "agree");
  for (const auto& [length, words] : queries) {
    std::vector<double> pieces, before, trgm;
    bool agree = true;
    for (int round = 0; round < kRounds; ++round) {
      for (const std::string& w : words) {
        // Taking turns at going first, so that neither always finds the cache the other warmed.
        long long piecesTotal = -1, trgmTotal = -1;
        std::vector<std::string> piecesIds, beforeIds;
        const auto runPieces = [&] {
          const Clock::time_point t = Clock::now();
          const auto page = collection->search(w, 0, 20);
          pieces.push_back(msSince(t));
          piecesTotal = page ? page->total : -1;
          if (page)
            for (const auto& p : page->pictures) piecesIds.push_back(p.id);
          const Clock::time_point b = Clock::now();
          const mw::site::pg::Result r = c->run("before", {mw::site::piecesQuery(w)});
          before.push_back(msSince(b));
          for (int i = 0; r.ok() && i < r.rows(); ++i) beforeIds.push_back(r.text(i, 0));
          if (!r.ok() || r.rows() == 0 || r.integer(0, 7) != piecesTotal) beforeIds.push_back("disagrees");
        };
        const auto runTrgm = [&] {
          const Clock::time_point t = Clock::now();
          const mw::site::pg::Result r = c->run("trgm", {likePattern(w)});
          trgm.push_back(msSince(t));
          trgmTotal = !r.ok() ? -1 : r.rows() == 0 ? 0 : r.integer(0, 5);
        };
        if (round % 2)
          runPieces(), runTrgm();
        else
          runTrgm(), runPieces();
        agree = agree && piecesTotal == trgmTotal && piecesTotal >= 0 && piecesIds == beforeIds;
      }
    }
    const double p50 = mw::bench::percentile(pieces, 0.5), t50 = mw::bench::percentile(trgm, 0.5);
    std::printf("%-6d %10.2f %10.2f %10.2f %10.2f %10.2f %10.2f %7.1fx %8s\n", length, p50,
                mw::bench::percentile(pieces, 0.95), mw::bench::percentile(before, 0.5),
                mw::bench::percentile(before, 0.95), t50, mw::bench::percentile(trgm, 0.95), t50 / p50,
                agree ? "yes" : "NO");
  }
  for (const auto& [length, words] : queries) {
    std::printf("%d chars, matches:", length);
    for (const std::string& w : words) std::printf(" %s=%lld", w.c_str(), collection->search(w, 0, 1)->total);
    std::printf("\n");
  }
  return 0;
}
