// fwupload's records: every invocation of fwupload that records, and every run
// of a port under it, in one SQLite database file that a line's own tools can
// read (doc/records.md holds the schema).
//
// What the file guarantees: it is in WAL mode and every commit is synchronous
// (synchronous=FULL), so a record that was committed survives a crash, a kill
// or a power cut, and the file is never left corrupt. Several connections
// (threads with a RecordFile each, processes) may write it at once: a lock
// another writer holds is waited for, up to kBusyTimeout, before a write
// fails. A reader never blocks a writer. The schema is versioned (PRAGMA
// user_version): a file of an older version is brought forward when it is
// opened for writing; one of a newer version is refused.
//
// Return rules: a call that can fail gives a problem, one line saying why
// (in SQLite's or the system's words, with the file's name where it helps),
// empty when it succeeded; a call that gives a value gives a Result whose
// `value` is set exactly when its `problem` is empty. A failed write changes
// nothing in the file.
//
// Threads: a RecordFile is one connection. Use it from one thread at a time;
// give every thread that needs the file a RecordFile of its own.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fwu::records {

inline constexpr int kSchemaVersion = 1;
inline constexpr std::chrono::milliseconds kBusyTimeout{10000};

template <class T>
struct Result {
  std::optional<T> value;
  std::string problem;
};

// "2026-12-09T08:30:00.123Z": every time in the file, UTC with milliseconds.
std::string UtcTime(std::chrono::system_clock::time_point time);

// One invocation of fwupload, as it starts. Empty texts are stored as such.
struct Invocation {
  std::string station{};
  std::string host{};
  std::string user{};
  std::string commandLine{};
  std::string filePath{};    // absolute
  std::string fileSha256{};  // 64 lowercase hex digits
  std::string startedAt{};
  std::string version{};
};

// How it ended: its tally and exit status.
struct InvocationEnd {
  std::string endedAt{};
  int updated = 0;
  int failed = 0;
  int exitStatus = 0;
};

// One run of one port. An empty USB field or reason is stored as NULL (not
// known); `outcome` is none for a run an interrupt stopped.
struct Run {
  std::int64_t invocationId = 0;
  std::string startedAt{};
  std::string endedAt{};
  std::string port{};
  std::string usbVendor{};  // "0403", hex
  std::string usbProduct{};
  std::string usbSerial{};
  std::string usbLocation{};  // "1-1.3" on Linux; what the system gives elsewhere
  std::string filePath{};
  std::int64_t fileSize = 0;
  std::string fileSha256{};
  std::optional<int> outcome{};
  std::string outcomeText{};
  std::string reason{};
  std::int64_t bytes = 0;  // body bytes the line took
  double seconds = 0;
  std::string pace{};
  std::string host{};
  std::string version{};
};

// A stored run with every column of the table `runs`, keyed by column name in
// the table's order, and then "station" (its invocation's): integers, reals,
// texts, or null.
using Row = nlohmann::ordered_json;

// Which runs a reader asks for; an empty field asks nothing.
struct RunFilter {
  std::string since{};         // started at or after, a UtcTime text
  std::string until{};         // started before, a UtcTime text
  std::string portPattern{};   // a glob the port name matches ('*', '?', [...])
  std::string serial{};        // the USB serial number, exactly
  std::string sha256Prefix{};  // lowercase hex digits the file's SHA-256 starts with
  bool failedOnly = false;   // runs that did not update their device
};

// One firmware's runs among those a filter selects.
struct FirmwareSummary {
  std::string sha256;
  std::string fileName;  // the last name (the file path's last part) it had
  int runs = 0;
  int updated = 0;
  int failed = 0;  // runs - updated: failures and stopped runs
  // "TEXT" or "TEXT: REASON", the outcome's text and why, with how many runs
  // ended so, most first.
  std::vector<std::pair<std::string, int>> failures;
  std::optional<double> medianSeconds;   // of its updates
  std::optional<double> longestSeconds;  // of its updates
};

class RecordFile {
 public:
  enum class Access { kWrite, kRead };

  // kWrite makes the file when it does not exist (its folder must) and
  // brings its schema forward; kRead opens an existing file read-only and
  // changes nothing. Refused: a path that is no regular file, a file that is
  // no SQLite database or holds something else, one of a newer schema, and
  // for kRead a file that does not exist.
  static Result<RecordFile> Open(const std::string& utf8Path, Access access);

  RecordFile(RecordFile&&) noexcept;
  RecordFile& operator=(RecordFile&&) noexcept;
  ~RecordFile();

  // kWrite. The new invocation's id; it has no end until End.
  Result<std::int64_t> Begin(const Invocation& invocation);
  std::string End(std::int64_t invocationId, const InvocationEnd& end);
  // Every run in one transaction, all or none; their ids, in order.
  Result<std::vector<std::int64_t>> Add(std::span<const Run> runs);

  // The runs `filter` selects, oldest start first, each given to `take` until
  // it returns false.
  std::string EachRun(const RunFilter& filter, const std::function<bool(const Row&)>& take);
  // Per firmware, in the order of each one's first run.
  Result<std::vector<FirmwareSummary>> Summarize(const RunFilter& filter);

  // kWrite, for a publisher: up to `most` runs of `station`'s invocations not
  // yet published, oldest (lowest id) first; and one marked published now.
  Result<std::vector<Row>> Unpublished(const std::string& station, std::size_t most);
  std::string MarkPublished(std::int64_t runId);

 private:
  struct Connection;
  explicit RecordFile(std::unique_ptr<Connection> connection);

  std::unique_ptr<Connection> connection_;
};

}  // namespace fwu::records
