// Opening the file, and writing invocations and runs.
#include "records/Connection.h"
#include "records/Schema.h"

#include <filesystem>

namespace fwu::records {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8Path) { return fs::path(std::u8string(utf8Path.begin(), utf8Path.end())); }

// A FIFO or a device would block or break SQLite; a link to a regular file
// is as good as the file.
std::string CheckPath(const std::string& utf8Path, RecordFile::Access access) {
  std::error_code error;
  fs::file_status status = fs::status(PathOf(utf8Path), error);
  if (status.type() == fs::file_type::not_found) {
    if (access == RecordFile::Access::kRead) return "no records there (the file does not exist)";
    fs::path folder = PathOf(utf8Path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) return "its folder does not exist";
    return {};
  }
  if (error) return error.message();
  if (status.type() != fs::file_type::regular) return "not a regular file";
  return {};
}

// WAL: readers and a writer at once, and a commit that a crash cannot undo
// once it returned (with synchronous=FULL, the log is synced at each commit).
std::string UseWal(sqlite3* db) {
  Statement mode(db, "PRAGMA journal_mode = WAL");
  std::string problem;
  if (!mode.Step(problem)) return problem.empty() ? "no journal mode" : problem;
  if (mode.Text(0) != "wal") return "the file cannot be put in WAL mode (journal mode " + mode.Text(0) + ")";
  return {};
}

std::string PrepareForWriting(sqlite3* db) {
  // SQLite opens a file it may not write read-only, without a word.
  if (sqlite3_db_readonly(db, "main") == 1) return "the file is read-only here";
  if (std::string problem = UseWal(db); !problem.empty()) return problem;
  if (std::string problem = Execute(db, "PRAGMA synchronous = FULL"); !problem.empty()) return problem;
  return BringForward(db, SchemaSteps());
}

}  // namespace

Result<RecordFile> RecordFile::Open(const std::string& utf8Path, Access access) {
  auto failed = [&](const std::string& problem) { return Result<RecordFile>{std::nullopt, utf8Path + ": " + problem}; };
  if (std::string problem = CheckPath(utf8Path, access); !problem.empty()) return failed(problem);
  const int flags = (access == Access::kWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  sqlite3* opened = nullptr;
  int status = sqlite3_open_v2(utf8Path.c_str(), &opened, flags, nullptr);
  auto connection = std::make_unique<Connection>(UniqueDatabase(opened));
  if (status != SQLITE_OK) return failed(opened ? Why(opened) : sqlite3_errstr(status));
  sqlite3* db = connection->db.get();
  sqlite3_busy_timeout(db, static_cast<int>(kBusyTimeout.count()));
  std::string problem = access == Access::kWrite ? PrepareForWriting(db) : CheckReadable(db, kSchemaVersion);
  if (!problem.empty()) return failed(problem);
  return {RecordFile(std::move(connection)), {}};
}

RecordFile::RecordFile(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
RecordFile::RecordFile(RecordFile&&) noexcept = default;
RecordFile& RecordFile::operator=(RecordFile&&) noexcept = default;
RecordFile::~RecordFile() = default;

Result<std::int64_t> RecordFile::Begin(const Invocation& invocation) {
  sqlite3* db = connection_->db.get();
  Statement insert(db,
                   "INSERT INTO invocations (station, host, user, command_line, file_path, file_sha256, started_at, "
                   "version) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  insert.Bind(1, invocation.station);
  insert.Bind(2, invocation.host);
  insert.Bind(3, invocation.user);
  insert.Bind(4, invocation.commandLine);
  insert.Bind(5, invocation.filePath);
  insert.Bind(6, invocation.fileSha256);
  insert.Bind(7, invocation.startedAt);
  insert.Bind(8, invocation.version);
  if (std::string problem = insert.Run(); !problem.empty()) return {std::nullopt, problem};
  return {sqlite3_last_insert_rowid(db), {}};
}

std::string RecordFile::End(std::int64_t invocationId, const InvocationEnd& end) {
  Statement update(connection_->db.get(),
                   "UPDATE invocations SET ended_at = ?1, updated = ?2, failed = ?3, exit_status = ?4 WHERE id = ?5");
  update.Bind(1, end.endedAt);
  update.Bind(2, std::optional<int>(end.updated));
  update.Bind(3, std::optional<int>(end.failed));
  update.Bind(4, std::optional<int>(end.exitStatus));
  update.Bind(5, invocationId);
  return update.Run();
}

Result<std::vector<std::int64_t>> RecordFile::Add(std::span<const Run> runs) {
  sqlite3* db = connection_->db.get();
  Transaction transaction(db);
  if (!transaction.BeginProblem().empty()) return {std::nullopt, transaction.BeginProblem()};
  Statement insert(db,
                   "INSERT INTO runs (invocation_id, started_at, ended_at, port, usb_vendor, usb_product, usb_serial, "
                   "usb_location, file_path, file_size, file_sha256, outcome, outcome_text, reason, bytes, seconds, "
                   "pace, host, version) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, "
                   "?16, ?17, ?18, ?19)");
  std::vector<std::int64_t> ids;
  for (const Run& run : runs) {
    insert.Bind(1, run.invocationId);
    insert.Bind(2, run.startedAt);
    insert.Bind(3, run.endedAt);
    insert.Bind(4, run.port);
    insert.BindOrNull(5, run.usbVendor);
    insert.BindOrNull(6, run.usbProduct);
    insert.BindOrNull(7, run.usbSerial);
    insert.BindOrNull(8, run.usbLocation);
    insert.Bind(9, run.filePath);
    insert.Bind(10, run.fileSize);
    insert.Bind(11, run.fileSha256);
    insert.Bind(12, run.outcome);
    insert.Bind(13, run.outcomeText);
    insert.BindOrNull(14, run.reason);
    insert.Bind(15, run.bytes);
    insert.Bind(16, run.seconds);
    insert.BindOrNull(17, run.pace);
    insert.Bind(18, run.host);
    insert.Bind(19, run.version);
    if (std::string problem = insert.Run(); !problem.empty()) return {std::nullopt, problem};
    insert.Reset();
    ids.push_back(sqlite3_last_insert_rowid(db));
  }
  if (std::string problem = transaction.Commit(); !problem.empty()) return {std::nullopt, problem};
  return {std::move(ids), {}};
}

Result<std::vector<Row>> RecordFile::Unpublished(const std::string& station, std::size_t most) {
  Statement query(connection_->db.get(),
                  "SELECT runs.*, invocations.station FROM runs JOIN invocations ON invocations.id = runs.invocation_id"
                  " WHERE runs.published_at IS NULL AND invocations.station = ?1 ORDER BY runs.id LIMIT ?2");
  query.Bind(1, station);
  query.Bind(2, static_cast<std::int64_t>(most));
  std::vector<Row> rows;
  std::string problem;
  while (query.Step(problem)) rows.push_back(query.Columns());
  if (!problem.empty()) return {std::nullopt, problem};
  return {std::move(rows), {}};
}

std::string RecordFile::MarkPublished(std::int64_t runId) {
  Statement update(connection_->db.get(), "UPDATE runs SET published_at = ?1 WHERE id = ?2");
  update.Bind(1, UtcTime(std::chrono::system_clock::now()));
  update.Bind(2, runId);
  return update.Run();
}

}  // namespace fwu::records
