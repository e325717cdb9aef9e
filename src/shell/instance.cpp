#include "shell/instance.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "runtime/charset.h"
#include "runtime/files.h"

namespace mw::shell {
namespace {

// How long a start waits for a program that holds the lock and is not listening yet.
constexpr int kStartingWaitMs = 15000;
// How long the program waits for a caller's request line.
constexpr int kRequestWaitMs = 5000;

constexpr std::array<std::pair<Command, const char*>, 6> kCommandNames{{{Command::Start, "start"},
                                                                        {Command::Show, "show"},
                                                                        {Command::Hide, "hide"},
                                                                        {Command::Toggle, "toggle"},
                                                                        {Command::Search, "search"},
                                                                        {Command::Quit, "quit"}}};

const char* commandName(Command command) {
  for (const auto& [c, name] : kCommandNames)
    if (c == command) return name;
  return "start";
}

std::optional<Command> commandNamed(const QString& name) {
  for (const auto& [c, n] : kCommandNames)
    if (name == QLatin1String(n)) return c;
  return std::nullopt;
}

// Tokens are opaque, but they end up in an environment variable.
bool plainToken(const QString& token) {
  return std::all_of(token.begin(), token.end(),
                     [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
}

bool peerIsUs(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

void say(const std::string& line) { std::fprintf(stderr, "memwick: %s\n", line.c_str()); }

// The answer line, without its newline; empty when none came in time.
std::string readAnswer(int fd, int waitMs) {
  const QDeadlineTimer deadline(waitMs);
  std::string answer;
  char buffer[512];
  while (answer.find('\n') == std::string::npos && answer.size() < sizeof buffer) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, int(deadline.remainingTime()));
    if (ready <= 0) return {};
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, std::size_t(n));
  }
  const auto end = answer.find('\n');
  return end == std::string::npos ? std::string() : answer.substr(0, end);
}

}  // namespace

QByteArray encodeRequest(const Request& request) {
  QJsonObject object{{QStringLiteral("command"), QLatin1String(commandName(request.command))}};
  if (request.command == Command::Search) object.insert(QStringLiteral("word"), request.word);
  if (!request.activation.token.isEmpty())
    object.insert(QStringLiteral("token"), QString::fromLatin1(request.activation.token));
  if (request.activation.x11Time != 0)
    object.insert(QStringLiteral("x11Time"), qint64(request.activation.x11Time));
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString searchWordProblem(const QString& word) {
  if (std::any_of(word.begin(), word.end(),
                  [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }))
    return QStringLiteral("the search box takes one line of text, without control characters");
  if (!runtime::convertCharset(word.toStdString(), "UTF-8", "GBK", true))
    return QStringLiteral("the search box cannot hold \"%1\": it has characters that GBK cannot write")
        .arg(word);
  return {};
}

std::optional<Request> decodeRequest(const QByteArray& line, QString& problem) {
  if (line.size() > kMaxRequestBytes) {
    problem = QStringLiteral("the command is longer than 4 KiB");
    return std::nullopt;
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(line);
  if (utf8.hasError()) {
    problem = QStringLiteral("the command is not valid UTF-8");
    return std::nullopt;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
  const QJsonObject object = document.object();
  const std::optional<Command> command = commandNamed(object.value(QStringLiteral("command")).toString());
  const QJsonValue word = object.value(QStringLiteral("word"));
  const QJsonValue token = object.value(QStringLiteral("token"));
  const QJsonValue time = object.value(QStringLiteral("x11Time"));
  if (error.error != QJsonParseError::NoError || !document.isObject() || !command ||
      (*command == Command::Search && !word.isString()) || !(token.isUndefined() || token.isString()) ||
      !(time.isUndefined() || time.isDouble()) || !plainToken(token.toString()) || time.toDouble() < 0 ||
      time.toDouble() > 0xFFFFFFFF) {
    problem = QStringLiteral("the command is not one Memwick knows");
    return std::nullopt;
  }
  Request request{*command, word.toString(), {token.toString().toLatin1(), quint32(time.toDouble())}};
  if (*command == Command::Search) {
    problem = searchWordProblem(request.word);
    if (!problem.isEmpty()) return std::nullopt;
  }
  return request;
}

InstancePlaces instancePlaces(const std::string& runtimeFolder, const std::string& settingsFolder) {
  if (!runtimeFolder.empty()) return {runtimeFolder + "/memwick.socket", runtimeFolder + "/memwick.lock"};
  const std::string base = settingsFolder + "/.memwick-" + std::to_string(::geteuid());
  return {base + ".socket", base + ".lock"};
}

HandOver handOver(const std::string& socket, Request request, int answerMs) {
  struct stat st {};
  sockaddr_un address{};
  if (::lstat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || socket.size() >= sizeof address.sun_path)
    return {};
  if (st.st_uid != ::geteuid())
    return {HandOver::Outcome::Refused, "the socket " + socket + " belongs to another user; it is not used"};
  const runtime::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket.c_str(), socket.size());
  // Refused: a socket left by a program that died.
  if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return {};
  if (!peerIsUs(fd.get()))
    return {HandOver::Outcome::Refused, "the program at " + socket + " is another user's; it is not used"};
  if (request.activation.x11Time == 0) request.activation.x11Time = platform::x11ServerTime();
  const QByteArray line = encodeRequest(request);
  // A line refused half-way is answered all the same: the answer is read whatever was sent.
  for (qsizetype sent = 0; sent < line.size();) {
    const ssize_t n =
        ::send(fd.get(), line.constData() + sent, std::size_t(line.size() - sent), MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += n;
  }
  const std::string answer = readAnswer(fd.get(), answerMs);
  if (answer == "ok") return {HandOver::Outcome::Taken, {}};
  if (answer.starts_with("refused: ")) return {HandOver::Outcome::Refused, answer.substr(9)};
  return {HandOver::Outcome::Refused, "the running Memwick did not answer"};
}

Claim claimOrHandOver(const InstancePlaces& places, const Request& request) {
  const bool needsProgram = request.command == Command::Show || request.command == Command::Hide ||
                            request.command == Command::Quit;
  auto lock = std::make_unique<QLockFile>(QFile::decodeName(QByteArray::fromStdString(places.lock)));
  // Held as long as the program runs: only a dead holder makes it stale, never its age.
  lock->setStaleLockTime(0);
  const QDeadlineTimer deadline(kStartingWaitMs);
  for (;;) {
    const HandOver handed = handOver(places.socket, request);
    if (handed.outcome == HandOver::Outcome::Taken) return {0, nullptr};
    if (handed.outcome == HandOver::Outcome::Refused) {
      say(handed.said);
      return {1, nullptr};
    }
    if (lock->tryLock(0)) {
      if (needsProgram) {
        say("Memwick is not running");
        return {1, nullptr};
      }
      // Ours now: a socket still there was left by a program that died.
      QLocalServer::removeServer(QFile::decodeName(QByteArray::fromStdString(places.socket)));
      return {std::nullopt, std::move(lock)};
    }
    if (lock->error() != QLockFile::LockFailedError) {
      if (needsProgram) {
        say("Memwick is not running");
        return {1, nullptr};
      }
      say("the lock file " + places.lock + " cannot be made: this Memwick runs on its own");
      return {std::nullopt, nullptr};
    }
    // Held by a program that is starting: it listens in a moment.
    if (deadline.hasExpired()) {
      say("another Memwick holds " + places.lock + " but does not answer");
      return {1, nullptr};
    }
    QThread::msleep(20);
  }
}

InstanceServer::InstanceServer(Taker take) : take_(std::move(take)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const std::string& socket, QString& error) {
  if (server_.listen(QFile::decodeName(QByteArray::fromStdString(socket)))) return true;
  error = server_.errorString();
  return false;
}

void InstanceServer::accept() {
  while (QLocalSocket* caller = server_.nextPendingConnection()) {
    connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
    // Another user's program gets nothing, not even an answer.
    if (!peerIsUs(int(caller->socketDescriptor()))) {
      caller->abort();
      caller->deleteLater();
      continue;
    }
    QTimer::singleShot(kRequestWaitMs, caller, [caller] { caller->abort(); });
    auto received = std::make_shared<QByteArray>();
    connect(caller, &QLocalSocket::readyRead, caller, [this, caller, received] {
      *received += caller->read(kMaxRequestBytes + 1 - received->size());
      const qsizetype end = received->indexOf('\n');
      if (end < 0 && received->size() <= kMaxRequestBytes) return;  // more to come
      QString problem = QStringLiteral("the command is longer than 4 KiB");
      const std::optional<Request> request =
          end < 0 ? std::nullopt : decodeRequest(received->left(end), problem);
      caller->write(request ? QByteArray("ok\n") : "refused: " + problem.toUtf8() + '\n');
      caller->disconnectFromServer();
      QObject::disconnect(caller, &QLocalSocket::readyRead, nullptr, nullptr);
      if (request) QTimer::singleShot(0, this, [this, taken = *request] { take_(taken); });
    });
  }
}

}  // namespace mw::shell
