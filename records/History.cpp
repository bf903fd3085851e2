// Reading runs back: one by one, or summed up per firmware.
#include "records/Connection.h"

#include <algorithm>
#include <map>

namespace fwu::records {
namespace {

// The WHERE clause of `filter` over the table runs, with its values bound in
// the order of their places (?1, ?2, ...); only the conditions asked for, so
// that SQLite can use the index of each.
struct Selection {
  std::string where;
  std::vector<std::string> values;

  void Add(const std::string& condition, const std::string& value) {
    values.push_back(value);
    Add(condition + std::to_string(values.size()));
  }
  void Add(const std::string& condition) { where += (where.empty() ? " WHERE " : " AND ") + condition; }
  // Past the run that started at `start` with `id`, in the order of kOldestFirst.
  void After(const std::string& start, std::int64_t id) {
    values.push_back(start);
    values.push_back(std::to_string(id));
    Add("(runs.started_at, runs.id) > (?" + std::to_string(values.size() - 1) + ", CAST(?" +
        std::to_string(values.size()) + " AS INTEGER))");
  }
  void BindTo(Statement& statement) const {
    for (std::size_t i = 0; i < values.size(); ++i) statement.Bind(static_cast<int>(i + 1), values[i]);
  }
};

Selection Select(const RunFilter& filter) {
  Selection selection;
  if (!filter.since.empty()) selection.Add("runs.started_at >= ?", filter.since);
  if (!filter.until.empty()) selection.Add("runs.started_at < ?", filter.until);
  if (!filter.portPattern.empty()) selection.Add("runs.port GLOB ?", filter.portPattern);
  if (!filter.serial.empty()) selection.Add("runs.usb_serial = ?", filter.serial);
  if (!filter.sha256Prefix.empty()) selection.Add("runs.file_sha256 GLOB ?", filter.sha256Prefix + "*");
  if (filter.failedOnly) selection.Add("runs.outcome IS NOT 0");
  return selection;
}

constexpr const char* kOldestFirst = " ORDER BY runs.started_at, runs.id";
// EachRun reads this many runs at a time, and holds no snapshot of the file
// while the caller takes them (a reader that is slow or stopped then keeps
// no writer's log from being recycled).
constexpr int kPage = 500;

// The next page of runs: none at the end.
Result<std::vector<Row>> Page(sqlite3* db, const RunFilter& filter, const Row* last) {
  Selection selection = Select(filter);
  if (last) selection.After((*last)["started_at"].get<std::string>(), (*last)["id"].get<std::int64_t>());
  Statement query(db,
                  "SELECT runs.*, invocations.station FROM runs JOIN invocations ON invocations.id = "
                  "runs.invocation_id" +
                      selection.where + kOldestFirst + " LIMIT " + std::to_string(kPage));
  selection.BindTo(query);
  std::vector<Row> rows;
  std::string problem;
  while (query.Step(problem)) rows.push_back(query.Columns());
  if (!problem.empty()) return {std::nullopt, problem};
  return {std::move(rows), {}};
}

std::string FileName(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One firmware's runs as they are read.
struct Tallying {
  FirmwareSummary summary;
  std::map<std::string, int> failures;
  std::vector<double> updateSeconds;
};

void Count(Tallying& tallying, const Statement& row) {
  FirmwareSummary& summary = tallying.summary;
  summary.fileName = FileName(row.Text(1));
  ++summary.runs;
  if (!row.IsNull(2) && row.Integer(2) == 0) {
    ++summary.updated;
    tallying.updateSeconds.push_back(row.Real(5));
    return;
  }
  ++summary.failed;
  std::string why = row.Text(3);
  if (!row.IsNull(4)) why += ": " + row.Text(4);
  ++tallying.failures[why];
}

std::optional<double> Median(std::vector<double>& values) {
  if (values.empty()) return std::nullopt;
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2) return *middle;
  double below = *std::max_element(values.begin(), middle);
  return (below + *middle) / 2;
}

FirmwareSummary Finish(Tallying& tallying) {
  FirmwareSummary summary = std::move(tallying.summary);
  summary.failures.assign(tallying.failures.begin(), tallying.failures.end());
  std::stable_sort(summary.failures.begin(), summary.failures.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  summary.medianSeconds = Median(tallying.updateSeconds);
  if (!tallying.updateSeconds.empty())
    summary.longestSeconds = *std::max_element(tallying.updateSeconds.begin(), tallying.updateSeconds.end());
  return summary;
}

}  // namespace

std::string RecordFile::EachRun(const RunFilter& filter, const std::function<bool(const Row&)>& take) {
  std::optional<Row> last;
  for (;;) {
    auto page = Page(connection_->db.get(), filter, last ? &*last : nullptr);
    if (!page.value) return page.problem;
    for (const Row& run : *page.value)
      if (!take(run)) return {};
    if (page.value->size() < static_cast<std::size_t>(kPage)) return {};
    last = std::move(page.value->back());
  }
}

Result<std::vector<FirmwareSummary>> RecordFile::Summarize(const RunFilter& filter) {
  Selection selection = Select(filter);
  Statement query(connection_->db.get(),
                  "SELECT runs.file_sha256, runs.file_path, runs.outcome, runs.outcome_text, runs.reason, "
                  "runs.seconds FROM runs" +
                      selection.where + kOldestFirst);
  selection.BindTo(query);
  std::vector<Tallying> firmware;
  std::map<std::string, std::size_t> bySha256;
  std::string problem;
  while (query.Step(problem)) {
    auto [at, added] = bySha256.emplace(query.Text(0), firmware.size());
    if (added) firmware.emplace_back().summary.sha256 = query.Text(0);
    Count(firmware[at->second], query);
  }
  if (!problem.empty()) return {std::nullopt, problem};
  std::vector<FirmwareSummary> summaries;
  for (Tallying& tallying : firmware) summaries.push_back(Finish(tallying));
  return {std::move(summaries), {}};
}

}  // namespace fwu::records
