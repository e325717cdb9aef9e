// The shared collection's uploads, against a server on loopback that answers as the collection's.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <mutex>
#include <optional>
#include <thread>

#include "actions/favourites.h"
#include "net/picture_upload.h"
#include "net/transfer.h"
#include "net/upload_queue.h"
#include "runtime/files.h"
#include "shell/settings_window.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"
#include "support/test_pictures.h"

using namespace mw;

namespace {

// Takes what "good" sends (201, 200 for bytes held), refuses other tokens (401); answers 503
// while `failing`.
struct CollectionServer {
  httplib::Server server;
  std::thread thread;
  std::mutex mutex;
  std::vector<std::string> taken, auth;
  std::atomic<int> tries{0};
  std::atomic<bool> failing{false};
  int port;

  explicit CollectionServer(int wantedPort = 0) {
    server.Post("/api/pictures", [this](const httplib::Request& req, httplib::Response& res) {
      ++tries;
      const std::lock_guard lock(mutex);
      auth.push_back(req.get_header_value("Authorization"));
      if (failing) return void(res.status = 503);
      if (auth.back() != "Bearer good") return void(res.status = 401);
      const bool held = std::find(taken.begin(), taken.end(), req.body) != taken.end();
      if (!held) taken.push_back(req.body);
      res.status = held ? 200 : 201;
      res.set_content(R"({"id":"x","url":"http://x/x"})", "application/json");
    });
    port = wantedPort ? (server.bind_to_port("127.0.0.1", wantedPort) ? wantedPort : -1)
                      : server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (port > 0 && !server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~CollectionServer() {
    server.stop();
    thread.join();
  }
  std::vector<std::string> takenNow() {
    const std::lock_guard lock(mutex);
    return taken;
  }
};

template <typename W>
W* control(QWidget& window, const char* name) {
  for (W* w : window.findChildren<W*>())
    if (w->accessibleName() == QString::fromUtf8(name)) return w;
  ADD_FAILURE() << "no control named " << name;
  return nullptr;
}

void type(QLineEdit* edit, const QString& text) {
  edit->clear();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

net::UploadQueueOptions quick() { return {std::chrono::milliseconds(20), std::chrono::milliseconds(200)}; }

}  // namespace

TEST(TeamUploads, TheSectionIsStoredASaveGoesWithItsTokenAndARefusalIsSaidOnce) {
  test::TempPlaces places;
  test::TempFolder config, queued;
  test::ScriptedDesktop desk;
  CollectionServer collection;
  shell::Program program(test::formPicture, {}, desk, places);
  program.state.favourites.favouritesFolder = places.places.favouritesFolder;
  ASSERT_TRUE(runtime::createFolder(places.places.favouritesFolder));
  const Text file = places.places.settingsFile();
  shell::SettingsWindow window(program, nullptr, {}, shell::readUserSettings(file, {}),
                               config.path().string());
  net::UploadQueue queue(queued.path().string(), quick());
  window.linkUploads(queue);
  window.open();

  auto* token = control<QLineEdit>(window, "团队令牌");
  EXPECT_EQ(token->echoMode(), QLineEdit::Password);
  type(control<QLineEdit>(window, "团队服务器"), QStringLiteral("127.0.0.1:%1").arg(collection.port));
  type(token, QStringLiteral("good"));
  const shell::UserSettings stored = shell::readUserSettings(file, {});
  EXPECT_EQ(stored.teamServer, "127.0.0.1:" + std::to_string(collection.port));
  EXPECT_EQ(stored.teamToken, "good");
  struct stat st {};
  ASSERT_EQ(::stat(runtime::nativePath(file).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);  // the token is the user's alone

  // The save and its tip as ever; the saved bytes reach the server with the token.
  const std::string picture = test::solidPicture(20, 10, Qt::red);
  program.main.图片框1->setPicture(picture);
  const auto rightClick = [&] { QTest::mousePress(program.main.图片框1, Qt::RightButton, {}, QPoint(5, 5)); };
  rightClick();
  EXPECT_EQ(program.main.气球提示框1->text(), actions::kSavedTip);
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection.takenNow().size() == 1; }));
  EXPECT_EQ(collection.takenNow()[0], picture);
  EXPECT_EQ(collection.auth[0], "Bearer good");

  // A token the server refuses: said once, the window coming up for it; the next refusal for
  // the same reason only counts.
  type(token, QStringLiteral("stale"));
  window.hide();
  auto* refusals = control<QLabel>(window, "上传被拒绝");
  rightClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }));
  EXPECT_TRUE(refusals->text().contains(QStringLiteral("令牌无效")));
  window.hide();
  rightClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return refusals->text().contains(QStringLiteral("有 2 张")); }));
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(program.main.气球提示框1->text(), actions::kSavedTip);
  EXPECT_EQ(queue.status().waiting, 0u);  // refused pictures are dropped
}

TEST(TeamUploads, PicturesWaitOnDiskWhileTheServerIsDownAndGoWhenItIsUp) {
  EXPECT_EQ(net::uploadAddress("127.0.0.1:8080"), "http://127.0.0.1:8080/api/pictures");
  EXPECT_EQ(net::uploadAddress(" https://x.org/team/ "), "https://x.org/team/api/pictures");
  EXPECT_EQ(net::uploadAddress("ftp://x.org"), "");
  EXPECT_EQ(net::uploadAddress("x.org/?token=1"), "");

  test::TempFolder queued, pictures;
  const Text first = pictures.text("1.jpg"), second = pictures.text("2.jpg");
  runtime::writeFile(first, test::solidPicture(8, 8, Qt::blue));
  runtime::writeFile(second, test::solidPicture(8, 8, Qt::green));
  int port = 0;
  {
    CollectionServer failing;
    failing.failing = true;
    port = failing.port;
    net::UploadQueue queue(queued.path().string(), quick());
    queue.setServer("127.0.0.1:" + std::to_string(port), "good");
    ASSERT_TRUE(queue.add(first));
    ASSERT_TRUE(queue.add(second));
    // The first is tried again and again, with the second behind it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return failing.tries >= 3; }));
    EXPECT_TRUE(queue.status().retrying);
    EXPECT_EQ(queue.status().lastStatus, 503);
    EXPECT_EQ(queue.status().waiting, 2u);
  }
  // The program starts again with the server gone altogether.
  std::optional<net::UploadQueue> restarted;
  net::UploadQueue& queue = restarted.emplace(queued.path().string(), quick());
  queue.setServer("127.0.0.1:" + std::to_string(port), "good");
  EXPECT_EQ(queue.status().waiting, 2u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return queue.status().retrying && queue.status().lastStatus == 0; }));
  CollectionServer up(port);
  ASSERT_EQ(up.port, port);
  ASSERT_TRUE(QTest::qWaitFor([&] { return queue.status().delivered == 2; }));
  EXPECT_EQ(up.takenNow(), (std::vector<std::string>{*runtime::readFile(first), *runtime::readFile(second)}));
  EXPECT_EQ(queue.status().waiting, 0u);
  EXPECT_TRUE(std::filesystem::is_empty(queued.path()));
  restarted.reset();  // its idle connection would hold the server's stop
}
