#include "cli/JsonEvents.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace fwu::cli {
namespace {

// A port name that is not UTF-8 comes out with replacement characters
// rather than ending the program.
std::string Line(const nlohmann::ordered_json& event) {
  return event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string JsonProgress(std::string_view port, std::int64_t percent, std::int64_t bytes) {
  return Line({{"port", port}, {"event", "progress"}, {"percent", percent}, {"bytes", bytes}});
}

std::string JsonResult(std::string_view port, Outcome outcome, std::int64_t bytes,
                       std::chrono::duration<double> seconds, std::string_view reason, const Tally* tally,
                       std::string_view notRecorded) {
  nlohmann::ordered_json result{{"port", port},
                                {"event", "result"},
                                {"outcome", static_cast<int>(outcome)},
                                {"message", OutcomeMessage(outcome, port)},
                                {"bytes", bytes},
                                {"seconds", std::round(seconds.count() * 1000) / 1000}};
  if (!reason.empty()) result["reason"] = reason;
  if (tally) {
    result["updated"] = tally->updated;
    result["failed"] = tally->failed;
  }
  if (!notRecorded.empty()) result["not_recorded"] = notRecorded;
  return Line(result);
}

std::string JsonStation(std::string_view recordFile, std::string_view sha256) {
  nlohmann::ordered_json event{{"event", "station"}, {"record", nullptr}, {"sha256", sha256}};
  if (!recordFile.empty()) event["record"] = recordFile;
  return Line(event);
}

std::string JsonAppeared(std::string_view port, std::string_view leftAloneBecause) {
  nlohmann::ordered_json event{{"port", port}, {"event", "appeared"}, {"update", leftAloneBecause.empty()}};
  if (!leftAloneBecause.empty()) event["reason"] = leftAloneBecause;
  return Line(event);
}

std::string JsonGone(std::string_view port) { return Line({{"port", port}, {"event", "gone"}}); }

}  // namespace fwu::cli
