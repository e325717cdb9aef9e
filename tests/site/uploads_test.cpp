// Uploads to a shared collection: memwick-site nodes on a throwaway PostgreSQL with one store,
// as members' programs and misbehaving clients meet them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "net/encoding.h"
#include "net/site_settings.h"
#include "net/upload_queue.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "site/picture_store.h"
#include "support/captioned_picture.h"
#include "support/loopback_client.h"
#include "support/site_node.h"
#include "support/temp_folder.h"
#include "support/test_pictures.h"
#include "support/throwaway_postgres.h"

namespace fs = std::filesystem;
using mw::test::eventually;

namespace {

constexpr const char* kAnn = "ann 0123456789abcdef-ann";
constexpr const char* kBob = "bob 0123456789abcdef-bob";
constexpr const char* kCarol = "carol 0123456789abcdef-carol";
const std::string kAnnToken = "0123456789abcdef-ann";
const std::string kBobToken = "0123456789abcdef-bob";
const std::string kCarolToken = "0123456789abcdef-carol";

// A node on the collection's database, store and tokens, whose uploads time out after 2 s.
struct Node : mw::test::SiteNode {
  Node(const mw::test::ThrowawayPostgres& db, const fs::path& folder, std::vector<std::string> extra = {})
      : SiteNode(withCollection(db, folder, std::move(extra))) {}
  static std::vector<std::string> withCollection(const mw::test::ThrowawayPostgres& db,
                                                 const fs::path& folder, std::vector<std::string> extra) {
    extra.insert(extra.end(), {"--database", db.uri(), "--store", (folder / "store").string(), "--tokens",
                               (folder / "tokens").string(), "--upload-timeout", "2"});
    return extra;
  }
  int port() const { return std::stoi(searchHost().substr(searchHost().rfind(':') + 1)); }
};

httplib::Result upload(const Node& node, const std::string& bytes, const std::string& token,
                       const std::string& path = "/api/pictures") {
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  return node.search().Post(path, headers, bytes, "application/octet-stream");
}

std::string field(const std::string& json, const std::string& name) {
  const std::size_t at = json.find("\"" + name + "\": \"");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + name.size() + 5;
  return json.substr(begin, json.find('"', begin) - begin);
}

// The path of a served address, from its host on.
std::string pathOf(const std::string& url) { return url.substr(url.find('/', url.find("//") + 2)); }

// What the server sends on `fd` until it closes it, within `seconds`.
std::string answerOn(int fd, int seconds, bool* closed = nullptr) {
  std::string answer;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool gone = false;
  while (!gone && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
      gone = true;
    else
      answer.append(buffer, std::size_t(n));
  }
  ::close(fd);
  if (closed) *closed = gone;
  return answer;
}

int sendRaw(int port, const std::string& request) {
  const int fd = mw::test::connectToLoopback(port);
  (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  return fd;
}

struct Collection {
  mw::test::ThrowawayPostgres db;
  mw::test::TempFolder folder;
  Collection() {
    fs::create_directories(folder.path() / "store");
    mw::test::writeBytes(folder.path() / "tokens",
                         std::string("# members\n") + kAnn + "\n" + kBob + "\n" + kCarol + "\n");
  }
};

}  // namespace

// Who may upload what, and what each refusal says; a duplicate, a served picture, a deletion.
TEST(Uploads, RefusalsDuplicatesServingAndDeletion) {
  Collection c;
  ASSERT_EQ(c.db.error(), "");
  Node node(c.db, c.folder.path());
  ASSERT_TRUE(node.ready()) << node.log();
  const std::string png = mw::test::solidPicture(40, 30, Qt::red);

  EXPECT_EQ(upload(node, png, "")->status, 401);
  EXPECT_EQ(upload(node, png, "0123456789abcdef-eve")->status, 401);
  EXPECT_EQ(upload(node, png, "", "/api/pictures?token=" + kAnnToken)->status, 401);
  EXPECT_EQ(upload(node, "GIF89a but no picture at all", kAnnToken)->status, 415);
  EXPECT_EQ(upload(node, std::string(100, 'x'), kAnnToken)->status, 415);

  // Too large: told from the header, before a byte of the body is sent.
  const std::string header = "POST /api/pictures HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                             kAnnToken + "\r\nContent-Length: " + std::to_string((16 << 20) + 1) + "\r\n\r\n";
  EXPECT_TRUE(answerOn(sendRaw(node.port(), header), 5).starts_with("HTTP/1.1 413"));
  // Bodies shorter than their length, more of them than workers: none holds a worker, and each
  // is dropped unanswered at the upload timeout.
  const std::string lying = "POST /api/pictures HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                            kAnnToken + "\r\nContent-Length: 200000\r\n\r\n" + png;
  std::vector<int> hanging;
  for (int i = 0; i < 6; ++i) hanging.push_back(sendRaw(node.port(), lying));
  const auto before = std::chrono::steady_clock::now();
  const auto first = upload(node, png, kAnnToken);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  for (const int fd : hanging) {
    bool closed = false;
    EXPECT_EQ(answerOn(fd, 10, &closed), "");
    EXPECT_TRUE(closed);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(6));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 201) << first->body;
  const std::string id = field(first->body, "id");
  EXPECT_EQ(id, mw::site::pictureId(png));
  // A client that waits to be asked for the body is asked before a worker takes it.
  const int asking = sendRaw(
      node.port(), "POST /api/pictures HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kBobToken +
                       "\r\nExpect: 100-continue\r\nContent-Length: " + std::to_string(png.size()) +
                       "\r\nConnection: close\r\n\r\n");
  std::string continued(25, '\0');
  EXPECT_EQ(::recv(asking, continued.data(), continued.size(), MSG_WAITALL), 25);
  EXPECT_EQ(continued, "HTTP/1.1 100 Continue\r\n\r\n");
  (void)!::send(asking, png.data(), png.size(), MSG_NOSIGNAL);
  EXPECT_NE(answerOn(asking, 5).find("HTTP/1.1 200 OK"), std::string::npos);
  const auto again = upload(node, png, kBobToken);
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(field(again->body, "id"), id);
  EXPECT_EQ(field(again->body, "url"), field(first->body, "url"));
  EXPECT_TRUE(fs::exists(c.folder.path() / "store" / id.substr(0, 2) / id.substr(2, 2) / (id + ".png")));

  const std::string url = field(first->body, "url");
  ASSERT_TRUE(url.starts_with("http://127.0.0.1:" + std::to_string(node.port()) + "/pictures/" + id)) << url;
  const auto served = node.search().Get(pathOf(url));
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_EQ(served->body, png);
  EXPECT_EQ(served->get_header_value("Content-Type"), "image/png");

  // Deleting: by its uploader only, and by an id that is one.
  httplib::Headers ann{{"Authorization", "Bearer " + kAnnToken}};
  httplib::Headers bob{{"Authorization", "Bearer " + kBobToken}};
  EXPECT_EQ(node.search().Delete("/api/pictures/" + id)->status, 401);
  EXPECT_EQ(node.search().Delete("/api/pictures/" + id, bob)->status, 403);
  EXPECT_EQ(node.search().Delete("/api/pictures/../../tokens", ann)->status, 400);
  EXPECT_EQ(node.search().Delete("/api/pictures/" + id.substr(0, 62) + "%2F.", ann)->status, 400);
  EXPECT_EQ(node.search().Delete("/api/pictures/" + id, ann)->status, 204);
  EXPECT_EQ(node.search().Get(pathOf(url))->status, 404);
  EXPECT_EQ(node.search().Delete("/api/pictures/" + id, ann)->status, 404);

  // Tokens read again on SIGHUP: bob's goes; a file that cannot be read keeps the tokens.
  mw::test::writeBytes(c.folder.path() / "tokens", std::string(kAnn) + "\n" + kCarol + "\n");
  node.signal(SIGHUP);
  EXPECT_TRUE(eventually([&] { return upload(node, "no picture", kBobToken)->status == 401; }, 10));
  fs::remove(c.folder.path() / "tokens");
  node.signal(SIGHUP);
  EXPECT_TRUE(eventually([&] { return node.log().find("the tokens stay as they were") != std::string::npos; }, 10));
  EXPECT_EQ(upload(node, png, kAnnToken)->status, 201);

  // 60 a minute per token, the 61st refused with the time to wait.
  int accepted = 0;
  std::string retryAfter;
  for (int i = 0; i < 70 && retryAfter.empty(); ++i) {
    const auto r = upload(node, png, kCarolToken);
    ASSERT_TRUE(r);
    if (r->status == 429)
      retryAfter = r->get_header_value("Retry-After");
    else
      accepted += r->status == 200;
  }
  EXPECT_EQ(accepted, 60);
  EXPECT_GT(std::atoi(retryAfter.c_str()), 0);
}

// A node killed in a burst of uploads loses none that were answered: the other node serves each
// whole. What an upload left unrecorded goes after the orphan age; recorded pictures stay.
TEST(Uploads, KilledNodeLosesNothingAndOrphansGo) {
  Collection c;
  ASSERT_EQ(c.db.error(), "");
  const fs::path store = c.folder.path() / "store";
  // Left by uploads that never reached their record: a picture and a half-written file.
  const std::string orphanId(64, 'e');
  fs::create_directories(store / "ee" / "ee");
  const fs::path orphan = store / "ee" / "ee" / (orphanId + ".png");
  const fs::path part = store / "ee" / "ee" / ("." + orphanId + ".1-2-3.part");
  mw::test::writeBytes(orphan, mw::test::solidPicture(4, 4, Qt::blue));
  mw::test::writeBytes(part, "half");

  Node a(c.db, c.folder.path());
  Node b(c.db, c.folder.path(), {"--orphan-age", "3"});
  ASSERT_TRUE(a.ready()) << a.log();
  ASSERT_TRUE(b.ready()) << b.log();

  std::mutex mutex;
  std::map<std::string, std::string> answered;  // path served -> bytes
  std::atomic<int> sent{0};
  std::vector<std::thread> uploaders;
  for (int t = 0; t < 4; ++t) {
    uploaders.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const std::string bytes =
            mw::test::solidPicture(20 + i, 20 + t, QColor(t * 60, i, 7), i % 2 ? "PNG" : "JPEG");
        httplib::Client client("127.0.0.1", a.port());
        httplib::Headers headers{{"Authorization", "Bearer " + (t % 2 ? kAnnToken : kBobToken)}};
        const auto r = client.Post("/api/pictures", headers, bytes, "application/octet-stream");
        ++sent;
        if (!r) return;  // the node is gone
        if (r->status == 201 || r->status == 200) {
          const std::lock_guard lock(mutex);
          answered[pathOf(field(r->body, "url"))] = bytes;
        }
      }
    });
  }
  ASSERT_TRUE(eventually([&] { return sent >= 40; }, 60));
  a.stop(SIGKILL);
  for (std::thread& u : uploaders) u.join();
  ASSERT_GE(answered.size(), 30u);
  for (const auto& [path, bytes] : answered) {
    const auto r = b.search().Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_EQ(r->body == bytes, true) << path;
  }

  EXPECT_TRUE(eventually([&] { return !fs::exists(orphan) && !fs::exists(part); }, 20));
  // None of the answered ones went with them.
  for (const auto& [path, bytes] : answered) EXPECT_EQ(b.search().Get(path)->status, 200) << path;
  EXPECT_EQ(b.stop(), 0) << b.log();
}

// The program's own upload queue lands its saves on the server: found by the uploader's name at
// once, and by the words on them once read.
TEST(Uploads, ProgramQueueLandsSavesFoundByNameAndWords) {
  Collection c;
  ASSERT_EQ(c.db.error(), "");
  Node node(c.db, c.folder.path());
  ASSERT_TRUE(node.ready()) << node.log();
  const std::string gif = mw::test::animatedGif(16, 16, {Qt::red, Qt::green}, 10);
  mw::test::writeBytes(c.folder.path() / "saved.gif", gif);
  fs::copy_file(fs::path(MW_SOURCE_DIR) / "tests/install/caption.png", c.folder.path() / "caption.png");
  mw::net::UploadQueue queue((c.folder.path() / "queue").string());
  queue.setServer("127.0.0.1:" + std::to_string(node.port()), kAnnToken);
  ASSERT_TRUE(queue.add(c.folder.text("saved.gif")));
  ASSERT_TRUE(queue.add(c.folder.text("caption.png")));
  ASSERT_TRUE(eventually([&] { return queue.status().delivered == 2; }, 30));
  const std::string id = mw::site::pictureId(gif);
  const auto served = node.search().Get("/pictures/" + id + ".gif");
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, gif);
  EXPECT_EQ(served->get_header_value("Content-Type"), "image/gif");

  const auto found = [&](const std::string& keyword) {
    const auto r =
        node.search().Get("/plus/search.php?q=" + mw::net::urlEncode(mw::runtime::gbk(keyword), true, false));
    return r ? mw::runtime::utf8(r->body) : "";
  };
  EXPECT_NE(found("ann").find("共找到<b>2</b>"), std::string::npos) << found("ann");
  EXPECT_TRUE(eventually([&] { return found("下班").find("共找到<b>1</b>") != std::string::npos; }, 60));
}
