#include "cli/Station.h"

#include <algorithm>

namespace fwu::cli {

std::string_view VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kUpdate:
      break;
    case Verdict::kPresentAtStart:
      return "present at start";
    case Verdict::kCameBack:
      return "taken for the board updated at its place, rebooting";
    case Verdict::kSerialUpdated:
      return "taken for the board updated with its USB serial number, rebooting";
    case Verdict::kCountReached:
      return "the count is reached";
    case Verdict::kNotTaking:
      return "the station takes no more boards";
  }
  return "";
}

StationStep Station::Look(const std::vector<SeenPort>& present, StationTime now) {
  StationStep step;
  for (auto it = present_.begin(); it != present_.end();) {
    if (StillPresent(it->first, it->second, present)) {
      ++it;
      continue;
    }
    step.gone.push_back(it->second.name);
    Went(it->first, now);
    it = present_.erase(it);
  }
  for (const SeenPort& port : present) {
    // A port back while its last run is still ending is looked at once it has;
    // a second name of a port already here is no port of its own.
    if (present_.contains(port.identity) || runs_.contains(port.identity)) continue;
    present_.emplace(port.identity, Present{port.name, port.instance});
    Verdict verdict = Judge(port, !looked_, now);
    step.appeared.push_back({port.name, verdict});
    if (verdict == Verdict::kUpdate) Start(port, now, step);
  }
  for (auto& [identity, run] : runs_) {
    if (!run.retryAt || *run.retryAt > now) continue;
    run.retryAt.reset();
    step.start.push_back({run.port.name, identity});
  }
  looked_ = true;
  return step;
}

bool Station::StillPresent(const std::string& identity, const Present& present,
                           const std::vector<SeenPort>& ports) const {
  return std::any_of(ports.begin(), ports.end(), [&](const SeenPort& port) {
    return port.identity == identity && port.name == present.name && port.instance == present.instance;
  });
}

Verdict Station::Judge(const SeenPort& port, bool firstLook, StationTime now) {
  if (firstLook && !rules_.updatePresent) return Verdict::kPresentAtStart;
  if (stopped_) return Verdict::kNotTaking;
  if (rules_.count && started_ >= *rules_.count) return Verdict::kCountReached;
  std::erase_if(updated_, [&](const Updated& board) { return board.goneAt && now - *board.goneAt >= rules_.rebootWindow; });
  bool bySerial = !port.serial.empty() && !rules_.serialsAgain;
  for (const Updated& board : updated_)
    if (Rebooting(port, board, now)) return bySerial ? Verdict::kSerialUpdated : Verdict::kCameBack;
  return Verdict::kUpdate;
}

// A board updated with the port's serial number that went within the window;
// where numbers do not tell, a board updated at the port's place.
bool Station::Rebooting(const SeenPort& port, const Updated& board, StationTime now) const {
  bool went = board.goneAt && now - *board.goneAt < rules_.rebootWindow;
  // Two boards are never at one USB socket at once: one there is the same.
  bool samePlace = !port.location.empty() ? port.location == board.port.location : port.name == board.port.name;
  if (!port.serial.empty() && !rules_.serialsAgain)
    return port.serial == board.port.serial && (went || (samePlace && !port.location.empty()));
  return samePlace;
}

void Station::Went(const std::string& identity, StationTime now) {
  for (Updated& board : updated_)
    if (board.port.identity == identity && !board.goneAt) board.goneAt = now;
}

void Station::Start(const SeenPort& port, StationTime now, StationStep& step) {
  runs_.emplace(port.identity, Run{port, now, std::nullopt});
  ++started_;
  step.start.push_back({port.name, port.identity});
}

Station::RunEnd Station::Ended(const std::string& identity, std::optional<Outcome> outcome, StationTime now) {
  auto found = runs_.find(identity);
  if (found == runs_.end()) return RunEnd::kStopped;
  Run& run = found->second;
  if (!outcome) {
    runs_.erase(found);
    return RunEnd::kStopped;
  }
  bool patient = now + kOpenRetryInterval - run.appearedAt <= kOpenPatience;
  if (*outcome == Outcome::kPortUnavailable && present_.contains(identity) && patient) {
    run.retryAt = now + kOpenRetryInterval;
    return RunEnd::kRetrying;
  }
  Record(run, *outcome, now);
  runs_.erase(found);
  return RunEnd::kTallied;
}

void Station::Record(const Run& run, Outcome outcome, StationTime now) {
  if (outcome != Outcome::kSuccess) {
    ++tally_.failed;
    if (!tally_.firstFailure) tally_.firstFailure = outcome;
    return;
  }
  ++tally_.updated;
  // A board that went before its run ended went at the end.
  auto here = present_.find(run.port.identity);
  bool there = here != present_.end() && here->second.name == run.port.name && here->second.instance == run.port.instance;
  updated_.push_back({run.port, there ? std::nullopt : std::optional(now)});
}

}  // namespace fwu::cli
