#pragma once
// libpq, owned: a connection, its results, statements prepared on it by name, and parameters
// that always travel apart from the SQL. The only SQL text sent is the program's own literals.
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace mw::site::pg {

// One parameter, as text (PostgreSQL casts it to the column's type), or NULL.
class Param {
 public:
  Param(std::string text) : text_(std::move(text)) {}
  Param(const char* text) : text_(text) {}
  Param(long long n) : text_(std::to_string(n)) {}
  Param(int n) : text_(std::to_string(n)) {}
  Param(std::nullopt_t) {}
  const char* data() const { return text_ ? text_->c_str() : nullptr; }
  int size() const { return text_ ? int(text_->size()) : 0; }

 private:
  std::optional<std::string> text_;
};

class Result {
 public:
  explicit Result(pg_result* r) : r_(r) {}
  ~Result();
  Result(Result&& other) noexcept : r_(other.r_) { other.r_ = nullptr; }
  Result& operator=(Result&&) = delete;
  Result(const Result&) = delete;

  // The command ran (with or without rows).
  bool ok() const;
  int rows() const;
  bool isNull(int row, int column) const;
  std::string text(int row, int column) const;
  long long integer(int row, int column) const;
  // What went wrong, and its SQLSTATE ("40001"...); empty when nothing did.
  std::string error() const;
  std::string state() const;

 private:
  pg_result* r_;
};

class Connection {
 public:
  // Connects (within `timeoutSeconds` when the URI says nothing else); null with `error` set.
  static std::unique_ptr<Connection> open(const std::string& uri, int timeoutSeconds, std::string* error);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Prepares `sql` as statement `name` on this connection.
  bool prepare(const char* name, const char* sql, std::string* error = nullptr);
  // Runs prepared statement `name` with its parameters.
  Result run(const char* name, std::initializer_list<Param> params = {});
  // Runs SQL of the program's own, without parameters: only arrays of characters, so that no
  // text made at run time can get here.
  template <std::size_t N>
  Result exec(const char (&sql)[N]) {
    return execText(sql);
  }

  // The connection still holds (false once the server went, or it was cut).
  bool usable() const;
  std::string error() const;

 private:
  explicit Connection(pg_conn* c) : c_(c) {}
  Result execText(const char* sql);
  pg_conn* c_;
};

// A transaction on `c`, rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(Connection& c) : c_(c), open_(c.exec("BEGIN").ok()) {}
  ~Transaction() {
    if (open_) c_.exec("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool open() const { return open_; }
  bool commit() {
    const bool done = open_ && c_.exec("COMMIT").ok();
    open_ = false;
    return done;
  }

 private:
  Connection& c_;
  bool open_;
};

}  // namespace mw::site::pg
