#include "records/Schema.h"

#include "records/Sqlite.h"

#include <array>

namespace fwu::records {
namespace {

// Version 1. Times are UtcTime texts; a NULL end is an invocation that never
// ended (a crash, a kill, a power cut); a NULL outcome a run an interrupt
// stopped. The indexes serve --history's filters and a publisher's look for
// what it has not sent.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE invocations (
  id INTEGER PRIMARY KEY,
  station TEXT NOT NULL,
  host TEXT NOT NULL,
  user TEXT NOT NULL,
  command_line TEXT NOT NULL,
  file_path TEXT NOT NULL,
  file_sha256 TEXT NOT NULL,
  started_at TEXT NOT NULL,
  ended_at TEXT,
  updated INTEGER,
  failed INTEGER,
  exit_status INTEGER,
  version TEXT NOT NULL
);
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  invocation_id INTEGER NOT NULL REFERENCES invocations(id),
  started_at TEXT NOT NULL,
  ended_at TEXT NOT NULL,
  port TEXT NOT NULL,
  usb_vendor TEXT,
  usb_product TEXT,
  usb_serial TEXT,
  usb_location TEXT,
  file_path TEXT NOT NULL,
  file_size INTEGER NOT NULL,
  file_sha256 TEXT NOT NULL,
  outcome INTEGER,
  outcome_text TEXT NOT NULL,
  reason TEXT,
  bytes INTEGER NOT NULL,
  seconds REAL NOT NULL,
  pace TEXT,
  host TEXT NOT NULL,
  version TEXT NOT NULL,
  published_at TEXT
);
CREATE INDEX runs_by_start ON runs(started_at);
CREATE INDEX runs_by_serial ON runs(usb_serial);
CREATE INDEX runs_by_firmware ON runs(file_sha256);
CREATE INDEX runs_unpublished ON runs(id) WHERE published_at IS NULL;
)sql";

constexpr std::array<SchemaStep, 1> kSteps{{{1, kVersion1}}};

struct FileMarks {
  std::int64_t version = 0;
  std::int64_t applicationId = 0;
  std::int64_t objects = 0;  // tables, indexes, views, triggers
};

std::int64_t Single(sqlite3* db, const char* sql, std::string& problem) {
  Statement query(db, sql);
  if (!query.Step(problem)) {
    if (problem.empty()) problem = "no answer to " + std::string(sql);
    return 0;
  }
  return query.Integer(0);
}

std::string ReadMarks(sqlite3* db, FileMarks& marks) {
  std::string problem;
  marks.version = Single(db, "PRAGMA user_version", problem);
  if (problem.empty()) marks.applicationId = Single(db, "PRAGMA application_id", problem);
  if (problem.empty()) marks.objects = Single(db, "SELECT count(*) FROM sqlite_master", problem);
  return problem;
}

bool Ours(const FileMarks& marks) {
  return marks.applicationId == kApplicationId || (marks.objects == 0 && marks.version == 0);
}

std::string NotOurs() { return "a SQLite database of something else, not fwupload's records"; }

std::string Newer(std::int64_t version, int newest) {
  return "its records are of schema version " + std::to_string(version) + ", newer than this fwupload knows (" +
         std::to_string(newest) + "): use the newer fwupload that wrote them";
}

}  // namespace

std::span<const SchemaStep> SchemaSteps() { return kSteps; }

std::string BringForward(sqlite3* db, std::span<const SchemaStep> steps) {
  Transaction transaction(db);
  if (!transaction.BeginProblem().empty()) return transaction.BeginProblem();
  FileMarks marks;
  if (std::string problem = ReadMarks(db, marks); !problem.empty()) return problem;
  if (!Ours(marks)) return NotOurs();
  const int newest = steps.back().version;
  if (marks.version > newest) return Newer(marks.version, newest);
  if (marks.version == newest) return {};
  for (const SchemaStep& step : steps) {
    if (step.version <= marks.version) continue;
    if (std::string problem = Execute(db, step.sql); !problem.empty()) return problem;
  }
  std::string marking = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                        "; PRAGMA user_version = " + std::to_string(newest);
  if (std::string problem = Execute(db, marking.c_str()); !problem.empty()) return problem;
  return transaction.Commit();
}

std::string CheckReadable(sqlite3* db, int version) {
  FileMarks marks;
  if (std::string problem = ReadMarks(db, marks); !problem.empty()) return problem;
  if (!Ours(marks)) return NotOurs();
  if (marks.version == 0) return "it holds no records yet";
  if (marks.version > version) return Newer(marks.version, version);
  if (marks.version < version)
    return "its records are of the older schema version " + std::to_string(marks.version) +
           ": a run of this fwupload that records into the file brings it forward";
  return {};
}

}  // namespace fwu::records
