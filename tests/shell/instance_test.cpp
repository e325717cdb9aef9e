#include "shell/instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSysInfo>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>

#include "support/temp_folder.h"

using namespace mw;
using namespace mw::shell;
using namespace std::chrono_literals;

namespace {

// Runs `call` on a thread of its own while this one serves the program's socket.
template <typename F>
auto whileServing(F call) {
  auto result = std::async(std::launch::async, std::move(call));
  while (result.wait_for(0ms) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  QCoreApplication::processEvents();  // what was taken runs from the event loop
  return result.get();
}

int boundSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    ADD_FAILURE() << "bind " << path;
  return fd;
}

// What the program at `socket` answers to raw bytes, as a caller that writes no proper request
// sees it. Plain system calls: it also runs in a forked child.
std::string rawAnswer(const std::string& socket, const char* bytes, std::size_t size) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    (void)!::send(fd, bytes, size, MSG_NOSIGNAL);
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, std::size_t(n));
  } else {
    answer = "no connection";
  }
  ::close(fd);
  return answer;
}

std::string answerTo(const std::string& socket, const QByteArray& bytes) {
  return whileServing([&] { return rawAnswer(socket, bytes.constData(), std::size_t(bytes.size())); });
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(Instance, RequestsReachTheProgramAndWhatItCannotTakeIsRefused) {
  test::TempFolder folder;
  const InstancePlaces places = instancePlaces(folder.path().string(), {});
  std::vector<Request> taken;
  InstanceServer server([&](const Request& r) { taken.push_back(r); });
  QString error;
  ASSERT_TRUE(server.listen(places.socket, error)) << error.toStdString();

  const HandOver toggle = whileServing([&] {
    return handOver(places.socket, {Command::Toggle, {}, {"tok-1", 42}});
  });
  EXPECT_EQ(toggle.outcome, HandOver::Outcome::Taken) << toggle.said;
  const HandOver search = whileServing([&] {
    return handOver(places.socket, {Command::Search, "表情", {}});
  });
  EXPECT_EQ(search.outcome, HandOver::Outcome::Taken) << search.said;
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].command, Command::Toggle);
  EXPECT_EQ(taken[0].activation.token, "tok-1");
  EXPECT_EQ(taken[0].activation.x11Time, 42u);
  EXPECT_EQ(taken[1].command, Command::Search);
  EXPECT_EQ(taken[1].word, "表情");

  // Refused, with the reason, and nothing taken.
  const HandOver emoji = whileServing([&] { return handOver(places.socket, {Command::Search, "😀", {}}); });
  EXPECT_EQ(emoji.outcome, HandOver::Outcome::Refused);
  EXPECT_NE(emoji.said.find("GBK"), std::string::npos) << emoji.said;
  EXPECT_EQ(answerTo(places.socket, QByteArray(5000, 'a')), "refused: the command is longer than 4 KiB\n");
  EXPECT_EQ(answerTo(places.socket, "{\"command\":\"search\",\"word\":\"\xFF\xFE\"}\n"),
            "refused: the command is not valid UTF-8\n");
  EXPECT_EQ(answerTo(places.socket, "{\"command\":\"format\"}\n"),
            "refused: the command is not one Memwick knows\n");
  EXPECT_EQ(answerTo(places.socket, "{\"command\":\"show\",\"token\":\"a\\nb\"}\n"),
            "refused: the command is not one Memwick knows\n");
  EXPECT_EQ(taken.size(), 2u);
}

TEST(Instance, WhatADeadProgramLeftIsTakenOverAndCommandsNeedARunningOne) {
  test::TempFolder folder;
  const InstancePlaces places = instancePlaces(folder.path().string(), {});
  // A socket nobody listens on any more, and a lock naming a process that has ended.
  ::close(boundSocket(places.socket));
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  std::ofstream(places.lock) << dead << "\nmemwick\n" << QSysInfo::machineHostName().toStdString() << "\n";

  const Claim show = claimOrHandOver(places, {Command::Show, {}, {}});
  EXPECT_EQ(show.exitStatus, 1);
  const Claim start = claimOrHandOver(places, {Command::Start, {}, {}});
  EXPECT_FALSE(start.exitStatus);
  ASSERT_TRUE(start.lock && start.lock->isLocked());
  EXPECT_FALSE(exists(places.socket));

  // Once this one listens, later starts and commands hand over to it.
  std::vector<Command> taken;
  InstanceServer server([&](const Request& r) { taken.push_back(r.command); });
  QString error;
  ASSERT_TRUE(server.listen(places.socket, error)) << error.toStdString();
  EXPECT_EQ(whileServing([&] { return claimOrHandOver(places, {Command::Start, {}, {}}); }).exitStatus, 0);
  EXPECT_EQ(whileServing([&] { return claimOrHandOver(places, {Command::Quit, {}, {}}); }).exitStatus, 0);
  EXPECT_EQ(taken, (std::vector<Command>{Command::Start, Command::Quit}));
}

TEST(Instance, AnotherUsersProgramIsNeitherAskedNorAnswered) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  test::TempFolder folder;
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  const std::string theirs = (folder.path() / "theirs.socket").string();
  const std::string ours = (folder.path() / "ours.socket").string();
  std::vector<Request> taken;
  InstanceServer server([&](const Request& r) { taken.push_back(r); });
  QString error;
  ASSERT_TRUE(server.listen(ours, error)) << error.toStdString();
  ::chmod(ours.c_str(), 0777);

  // Another user's program that would take anything, and another user who asks ours.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t other = ::fork();
  if (other == 0) {
    if (::setuid(65534) != 0) ::_exit(1);
    const int fd = boundSocket(theirs);
    ::listen(fd, 4);
    const char quit[] = "{\"command\":\"quit\"}\n";
    const std::string asked = rawAnswer(ours, quit, sizeof quit - 1);
    (void)!::write(ready[1], asked.c_str(), asked.size() + 1);
    for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0; ::close(client))
      (void)!::write(client, "ok\n", 3);
    ::_exit(0);
  }
  char asked[256] = {};
  whileServing([&] { return ::read(ready[0], asked, sizeof asked - 1); });
  EXPECT_STREQ(asked, "");  // connected, and not answered
  EXPECT_TRUE(taken.empty());

  const HandOver byOwner = handOver(theirs, {Command::Show, {}, {}});
  EXPECT_EQ(byOwner.outcome, HandOver::Outcome::Refused);
  EXPECT_NE(byOwner.said.find("belongs to another user"), std::string::npos) << byOwner.said;
  // A socket file made ours still leads to their program.
  ASSERT_EQ(::lchown(theirs.c_str(), 0, 0), 0);
  const HandOver byPeer = handOver(theirs, {Command::Show, {}, {}});
  EXPECT_EQ(byPeer.outcome, HandOver::Outcome::Refused);
  EXPECT_NE(byPeer.said.find("another user's"), std::string::npos) << byPeer.said;
  ::kill(other, SIGKILL);
  ::waitpid(other, nullptr, 0);
}
