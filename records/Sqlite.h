// The little of SQLite's C interface the records use, with owned handles.
// Not part of the records' interface: everything outside this folder uses
// Records.h.
//
// Return rules: Execute, Step's failures and Transaction's Commit give a
// problem, one line in SQLite's words, empty when it succeeded.
#pragma once

#include "records/Records.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace fwu::records {

template <auto Close>
struct Closer {
  template <class T>
  void operator()(T* handle) const {
    Close(handle);
  }
};
using UniqueDatabase = std::unique_ptr<sqlite3, Closer<sqlite3_close_v2>>;
using UniqueStatement = std::unique_ptr<sqlite3_stmt, Closer<sqlite3_finalize>>;

// The connection's last error, in SQLite's words.
std::string Why(sqlite3* db);

// Runs `sql` (one statement or several), ignoring any rows.
std::string Execute(sqlite3* db, const char* sql);

// One prepared statement: bound by index (from 1), stepped, read by column
// (from 0).
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  // Set when the statement could not be prepared; then Step fails with it.
  const std::string& PrepareProblem() const { return problem_; }

  void Bind(int index, std::string_view text);
  void BindOrNull(int index, std::string_view text);  // empty: NULL
  void Bind(int index, std::int64_t number);
  void Bind(int index, double number);
  void Bind(int index, std::optional<int> number);  // none: NULL

  // True with a row to read; false when done or failed (then `problem` is set).
  bool Step(std::string& problem);
  // To its end; a problem or empty.
  std::string Run();
  // Ready to run again with new bindings.
  void Reset();
  std::int64_t Integer(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;
  // The row, keyed by column name, with each value's own type.
  Row Columns() const;

 private:
  sqlite3* db_;
  UniqueStatement statement_;
  std::string problem_;
};

// BEGIN IMMEDIATE: the write lock is taken now (waiting up to the busy
// time-out), so that nothing in between fails for another writer. Rolled back
// unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  const std::string& BeginProblem() const { return problem_; }
  std::string Commit();

 private:
  sqlite3* db_;
  std::string problem_;
  bool open_ = false;
};

}  // namespace fwu::records
