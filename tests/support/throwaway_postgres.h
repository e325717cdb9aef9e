#pragma once
// A PostgreSQL 15 server of its own in a temporary folder, on a unix socket there, removed at
// the end. The server refuses to run as root: under root (CI) it runs as nobody, in a folder
// given to nobody.
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace mw::test {

class ThrowawayPostgres {
 public:
  static constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";

  ThrowawayPostgres() {
    if (!std::filesystem::exists(std::string(kBin) + "initdb")) {
      error_ = "no PostgreSQL 15 in " + std::string(kBin);
      return;
    }
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody || ::chown(folder_.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
        error_ = "cannot give the folder to nobody";
        return;
      }
      asUser_ = "setpriv --reuid=" + std::to_string(nobody->pw_uid) +
                " --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups -- ";
    }
    if (!run(std::string(kBin) + "initdb -N -A trust -U memwick -E UTF8 --locale=C.UTF-8 -D " + data()) ||
        !start() || !run(std::string(kBin) + "createdb -h " + socketFolder() + " -U memwick memwick"))
      error_ = "cannot start PostgreSQL; see " + socketFolder() + "/commands.log and " + log();
  }

  ~ThrowawayPostgres() { run(std::string(kBin) + "pg_ctl -D " + data() + " -m immediate -w stop"); }
  ThrowawayPostgres(const ThrowawayPostgres&) = delete;
  ThrowawayPostgres& operator=(const ThrowawayPostgres&) = delete;

  // Empty when the server runs.
  const std::string& error() const { return error_; }
  std::string uri() const { return "postgresql:///memwick?host=" + socketFolder() + "&user=memwick"; }
  const std::filesystem::path& folder() const { return folder_.path(); }

  // Stopped and started again on the same data and socket.
  bool start() {
    return run(std::string(kBin) + "pg_ctl -D " + data() + " -l " + log() + " -w -o \"-k " + socketFolder() +
               " -c listen_addresses='' -c fsync=off -c max_connections=200\" start");
  }
  bool stop() { return run(std::string(kBin) + "pg_ctl -D " + data() + " -m fast -w stop"); }

 private:
  std::string data() const { return (folder_.path() / "data").string(); }
  std::string socketFolder() const { return folder_.path().string(); }
  std::string log() const { return (folder_.path() / "server.log").string(); }
  bool run(const std::string& command) const {
    return std::system(("cd " + socketFolder() + " && " + asUser_ + command + " >>" +
                        (folder_.path() / "commands.log").string() + " 2>&1")
                           .c_str()) == 0;
  }

  TempFolder folder_;
  std::string asUser_;
  std::string error_;
};

}  // namespace mw::test
