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
      return "back within 2 s of its update";
    case Verdict::kSerialUpdated:
      return "its USB serial number was updated already";
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
    step.start.push_back({run.name, identity});
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

Verdict Station::Judge(const SeenPort& port, bool firstLook, StationTime now) const {
  if (firstLook && !rules_.updatePresent) return Verdict::kPresentAtStart;
  if (stopped_) return Verdict::kNotTaking;
  if (rules_.count && started_ >= *rules_.count) return Verdict::kCountReached;
  if (!port.serial.empty() && !rules_.serialsAgain)
    return updatedSerials_.contains(port.serial) ? Verdict::kSerialUpdated : Verdict::kUpdate;
  auto succeeded = succeededAt_.find(port.name);
  if (succeeded != succeededAt_.end() && now - succeeded->second < kComeBackWindow) return Verdict::kCameBack;
  return Verdict::kUpdate;
}

void Station::Start(const SeenPort& port, StationTime now, StationStep& step) {
  runs_.emplace(port.identity, Run{port.name, port.serial, now, std::nullopt});
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
  if (!run.serial.empty()) updatedSerials_.insert(run.serial);
  succeededAt_[run.name] = now;
}

}  // namespace fwu::cli
