#include "site/postgres.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

namespace mw::site::pg {

Result::~Result() { PQclear(r_); }

bool Result::ok() const {
  const ExecStatusType s = r_ ? PQresultStatus(r_) : PGRES_FATAL_ERROR;
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int Result::rows() const { return r_ ? PQntuples(r_) : 0; }

bool Result::isNull(int row, int column) const { return PQgetisnull(r_, row, column) != 0; }

std::string Result::text(int row, int column) const {
  return std::string(PQgetvalue(r_, row, column), std::size_t(PQgetlength(r_, row, column)));
}

long long Result::integer(int row, int column) const {
  return std::strtoll(PQgetvalue(r_, row, column), nullptr, 10);
}

std::string Result::error() const { return r_ ? PQresultErrorMessage(r_) : "out of memory"; }

std::string Result::state() const {
  const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
  return s ? s : "";
}

std::unique_ptr<Connection> Connection::open(const std::string& uri, int timeoutSeconds, std::string* error) {
  const std::string timeout = std::to_string(timeoutSeconds);
  // What the URI says overrides the defaults before it; the name after it is ours.
  // Notices ("already exists, skipping") are no news for the log.
  const char* keys[] = {"connect_timeout", "options", "dbname", "application_name", nullptr};
  const char* values[] = {timeout.c_str(), "-c client_min_messages=warning", uri.c_str(), "memwick-site",
                          nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (!c || PQstatus(c) != CONNECTION_OK) {
    if (error) *error = c ? PQerrorMessage(c) : "out of memory";
    while (error && !error->empty() && error->back() == '\n') error->pop_back();
    PQfinish(c);
    return nullptr;
  }
  return std::unique_ptr<Connection>(new Connection(c));
}

Connection::~Connection() { PQfinish(c_); }

bool Connection::prepare(const char* name, const char* sql, std::string* error) {
  const Result r(PQprepare(c_, name, sql, 0, nullptr));
  if (!r.ok() && error) *error = r.error();
  return r.ok();
}

Result Connection::run(const char* name, std::initializer_list<Param> params) {
  std::vector<const char*> values;
  std::vector<int> lengths;
  for (const Param& p : params) {
    values.push_back(p.data());
    lengths.push_back(p.size());
  }
  return Result(PQexecPrepared(c_, name, int(values.size()), values.data(), lengths.data(), nullptr, 0));
}

Result Connection::execText(const char* sql) { return Result(PQexec(c_, sql)); }

bool Connection::usable() const { return PQstatus(c_) == CONNECTION_OK; }

std::string Connection::error() const { return PQerrorMessage(c_); }

}  // namespace mw::site::pg
