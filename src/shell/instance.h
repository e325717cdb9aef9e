#pragma once
// One program per user session. The first program holds a lock file and listens on a local
// socket beside it; a later start, and every command (--show, --hide, --toggle, --search,
// --quit), hands its request to that program and ends. All of it is decided before anything
// costly starts (the display, the embedded site, the library), so that a hand-over is quick.
#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window_activation.h"

namespace mw::shell {

enum class Command { Start, Show, Hide, Toggle, Search, Quit };

struct Request {
  Command command = Command::Start;
  QString word;  // what --search looks for
  platform::Activation activation;
};

// A request travels as one line of JSON; a longer one is refused unread.
inline constexpr qsizetype kMaxRequestBytes = 4096;

QByteArray encodeRequest(const Request& request);
// The request of a line (its newline removed), or nullopt with `problem` saying why it is
// refused: too long, not UTF-8, not a request, or a word the search box cannot hold.
std::optional<Request> decodeRequest(const QByteArray& line, QString& problem);

// Why a word cannot go into 搜索框, or empty when it can: the box holds GBK text.
QString searchWordProblem(const QString& word);

// The socket and the lock: in the user's runtime folder, or beside the settings (named by the
// user, since a portable copy's folder may be shared) when there is none. Paths as the system
// spells them.
struct InstancePlaces {
  std::string socket;
  std::string lock;
};
InstancePlaces instancePlaces(const std::string& runtimeFolder, const std::string& settingsFolder);

struct HandOver {
  enum class Outcome { Taken, Refused, NoProgram } outcome = Outcome::NoProgram;
  std::string said;  // why it was refused
};
// Hands the request to the program listening at `socket`, when one of this user's does, and
// waits up to `answerMs` for its answer. The X server's time goes with it once a program listens.
HandOver handOver(const std::string& socket, Request request, int answerMs = 10000);

// What a start does about a program that may run already.
struct Claim {
  std::optional<int> exitStatus;    // end here with this: handed over, refused or nothing to do
  std::unique_ptr<QLockFile> lock;  // held while this program runs; null when it runs unguarded
};
// Hands the request over when a program runs (waiting a while for one that is starting);
// otherwise takes the lock, removes what a program that died left, and lets this one go on,
// except for --show, --hide and --quit, which need a running program. Says on stderr why it
// ends with a status other than 0.
Claim claimOrHandOver(const InstancePlaces& places, const Request& request);

// The running program's end of the socket. `take` runs on the window's thread, from the event
// loop, once the request has been answered.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  using Taker = std::function<void(const Request&)>;
  explicit InstanceServer(Taker take);
  // False with `error` set when it cannot listen; the program then runs without hand-overs.
  bool listen(const std::string& socket, QString& error);

 private:
  void accept();
  Taker take_;
  QLocalServer server_;
};

}  // namespace mw::shell
