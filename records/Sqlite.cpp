#include "records/Sqlite.h"

namespace fwu::records {

std::string Why(sqlite3* db) { return sqlite3_errmsg(db); }

std::string Execute(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return {};
  std::string problem = message ? message : Why(db);
  sqlite3_free(message);
  return problem;
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &prepared, nullptr) != SQLITE_OK)
    problem_ = Why(db);
  statement_.reset(prepared);
}

void Statement::Bind(int index, std::string_view text) {
  sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::BindOrNull(int index, std::string_view text) {
  if (text.empty()) sqlite3_bind_null(statement_.get(), index);
  else Bind(index, text);
}

void Statement::Bind(int index, std::int64_t number) { sqlite3_bind_int64(statement_.get(), index, number); }

void Statement::Bind(int index, double number) { sqlite3_bind_double(statement_.get(), index, number); }

void Statement::Bind(int index, std::optional<int> number) {
  if (number) sqlite3_bind_int64(statement_.get(), index, *number);
  else sqlite3_bind_null(statement_.get(), index);
}

bool Statement::Step(std::string& problem) {
  if (!statement_) {
    problem = problem_;
    return false;
  }
  int status = sqlite3_step(statement_.get());
  if (status == SQLITE_ROW) return true;
  if (status != SQLITE_DONE) problem = Why(db_);
  return false;
}

std::string Statement::Run() {
  std::string problem;
  while (Step(problem)) {
  }
  return problem;
}

void Statement::Reset() {
  sqlite3_reset(statement_.get());
  sqlite3_clear_bindings(statement_.get());
}

std::int64_t Statement::Integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }

double Statement::Real(int column) const { return sqlite3_column_double(statement_.get(), column); }

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(statement_.get(), column);
  if (!text) return {};
  return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column))};
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL; }

Row Statement::Columns() const {
  Row row;
  const int count = sqlite3_column_count(statement_.get());
  for (int column = 0; column < count; ++column) {
    Row& value = row[sqlite3_column_name(statement_.get(), column)];
    switch (sqlite3_column_type(statement_.get(), column)) {
      case SQLITE_INTEGER:
        value = Integer(column);
        break;
      case SQLITE_FLOAT:
        value = Real(column);
        break;
      case SQLITE_NULL:
        value = nullptr;
        break;
      default:
        value = Text(column);
    }
  }
  return row;
}

Transaction::Transaction(sqlite3* db) : db_(db) {
  problem_ = Execute(db, "BEGIN IMMEDIATE");
  open_ = problem_.empty();
}

Transaction::~Transaction() {
  if (open_) Execute(db_, "ROLLBACK");
}

std::string Transaction::Commit() {
  std::string problem = Execute(db_, "COMMIT");
  // A failed COMMIT may leave the transaction open (a busy lock): the
  // destructor rolls it back. Where SQLite rolled back already, that ROLLBACK
  // fails harmlessly.
  if (problem.empty()) open_ = false;
  return problem;
}

}  // namespace fwu::records
