#include "cli/HistoryText.h"

#include "protocol/Outcome.h"

#include <cstdio>

namespace fwu::cli {
namespace {

using records::Row;

std::string Text(const Row& value) { return value.is_string() ? value.get<std::string>() : ""; }

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

// "Device update!", "ERROR:4 No correct answer device!: REASON".
std::string OutcomeOf(const Row& run) {
  std::string text = Text(run["outcome_text"]);
  if (run["outcome"].is_number() && run["outcome"].get<int>() != 0)
    text = std::string(OutcomeTitle(static_cast<Outcome>(run["outcome"].get<int>()))) + " " + text;
  if (run["reason"].is_string()) text += ": " + Text(run["reason"]);
  return text;
}

std::string Dump(const Row& value) { return value.dump(-1, ' ', false, Row::error_handler_t::replace); }

std::string CsvField(const Row& value) {
  if (value.is_null()) return "";
  std::string text = value.is_string() ? Text(value) : Dump(value);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
  return line + "\r\n";
}

}  // namespace

std::string HistoryLine(const Row& run) {
  std::string serial = Text(run["usb_serial"]);
  return Text(run["started_at"]) + "  " + Text(run["port"]) + "  " + (serial.empty() ? "-" : serial) + "  " +
         OutcomeOf(run) + "  " + Seconds(run["seconds"].get<double>()) + "  " +
         Text(run["file_sha256"]).substr(0, 12);
}

std::string HistoryJson(const Row& run) { return Dump(run); }

std::string CsvHeader(const Row& run) {
  std::vector<std::string> names;
  for (const auto& [name, value] : run.items()) names.push_back(CsvField(name));
  return CsvLine(names);
}

std::string CsvRecord(const Row& run) {
  std::vector<std::string> values;
  for (const auto& value : run) values.push_back(CsvField(value));
  return CsvLine(values);
}

std::string SummaryText(const records::FirmwareSummary& firmware) {
  std::string text = firmware.sha256.substr(0, 12) + "  " + firmware.fileName + "  " + std::to_string(firmware.runs) +
                     " runs: " + std::to_string(firmware.updated) + " updated, " + std::to_string(firmware.failed) +
                     " failed";
  if (firmware.medianSeconds)
    text += "; median " + Seconds(*firmware.medianSeconds) + ", longest " + Seconds(*firmware.longestSeconds);
  text += "\n";
  for (const auto& [why, count] : firmware.failures) text += "  " + std::to_string(count) + "  " + why + "\n";
  return text;
}

std::string SummaryJson(const records::FirmwareSummary& firmware) {
  Row failures = Row::array();
  for (const auto& [why, count] : firmware.failures) failures.push_back({{"reason", why}, {"runs", count}});
  Row summary{{"file_sha256", firmware.sha256}, {"file_name", firmware.fileName}, {"runs", firmware.runs},
              {"updated", firmware.updated},    {"failed", firmware.failed},      {"failures", failures},
              {"median_seconds", nullptr},      {"longest_seconds", nullptr}};
  if (firmware.medianSeconds) summary["median_seconds"] = *firmware.medianSeconds;
  if (firmware.longestSeconds) summary["longest_seconds"] = *firmware.longestSeconds;
  return Dump(summary) + "\n";
}

}  // namespace fwu::cli
