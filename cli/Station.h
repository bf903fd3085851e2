// The production station's decisions (fwupload --watch), apart from ports,
// threads and output: which ports appeared and went, which of them to update,
// when to try an open again, the tally and the exit status. The caller looks
// at the ports present every so often, starts the runs it is told to start
// and reports how each ended; every call gives the time it is made.
//
// The rules:
// - A port that appears is updated once. After its run has ended it is left
//   alone until it has gone and appeared again: a board left plugged in is
//   never flashed twice. A port has gone when its device is no longer seen,
//   when the name it appeared under is gone (another name of the same device
//   may stay, as a pty's number is taken again at once), or when its device's
//   node was made anew (the next board plugged in before a look saw the
//   last one go).
// - Ports present at the first look are left alone, unless asked for.
// - A board that reboots after a successful update may come back, on the same
//   port or a new one. Where the port has a USB serial number, a number that
//   was updated is not updated again (unless asked for); where it has none (or
//   the person asked for numbers to be updated again), a port that comes back
//   within kComeBackWindow of its own successful update is the same board.
// - A port the system does not yet let anyone open (outcome 2) is tried again
//   every kOpenRetryInterval until kOpenPatience after it appeared.
// - With a count, no update starts after that many; the station is done once
//   they have ended.
// - A port that appears again while its last run is still ending is looked
//   at once that run has ended.
// - A station told to stop taking boards (it cannot record them) starts no
//   new run; it is done once the runs under way have ended.
#pragma once

#include "cli/ResultText.h"
#include "cli/SeenPort.h"
#include "protocol/Outcome.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

using StationTime = std::chrono::steady_clock::time_point;

inline constexpr std::chrono::milliseconds kComeBackWindow{2000};
inline constexpr std::chrono::milliseconds kOpenPatience{2000};
inline constexpr std::chrono::milliseconds kOpenRetryInterval{100};

enum class Verdict { kUpdate, kPresentAtStart, kCameBack, kSerialUpdated, kCountReached, kNotTaking };

// Why a port that appeared is left alone; empty for kUpdate.
std::string_view VerdictText(Verdict verdict);

struct Appearance {
  std::string name;
  Verdict verdict;
};

// A run to start now, on the port of that name.
struct RunStart {
  std::string name;
  std::string identity;
};

struct StationStep {
  std::vector<Appearance> appeared;
  std::vector<std::string> gone;
  std::vector<RunStart> start;
};


struct StationRules {
  bool updatePresent = false;   // update the ports present at the first look
  bool serialsAgain = false;    // update a USB serial number already updated
  std::optional<int> count;     // end after this many updates
};

class Station {
 public:
  explicit Station(StationRules rules) : rules_(rules) {}

  // What changed since the last look, in the order of `present`; one name
  // stands for a device seen under several.
  StationStep Look(const std::vector<SeenPort>& present, StationTime now);

  enum class RunEnd { kTallied, kRetrying, kStopped };
  // The run on `identity` ended with `outcome` (none: it was stopped).
  RunEnd Ended(const std::string& identity, std::optional<Outcome> outcome, StationTime now);

  // From the next look on, no port that appears is updated.
  void StopTaking() { stopped_ = true; }

  bool Busy() const { return !runs_.empty(); }
  // The count is reached, or no more boards are taken, and the updates under
  // way have ended.
  bool Done() const { return (stopped_ || (rules_.count && started_ >= *rules_.count)) && runs_.empty(); }
  const Tally& Counts() const { return tally_; }
  // 0 when every update succeeded, else the outcome of the first that did not.
  int ExitStatus() const { return tally_.firstFailure ? static_cast<int>(*tally_.firstFailure) : 0; }

 private:
  struct Run {
    std::string name;
    std::string serial;
    StationTime appearedAt;
    std::optional<StationTime> retryAt;  // set while waiting to try the open again
  };

  Verdict Judge(const SeenPort& port, bool firstLook, StationTime now) const;
  void Start(const SeenPort& port, StationTime now, StationStep& step);
  void Record(const Run& run, Outcome outcome, StationTime now);

  StationRules rules_;
  bool looked_ = false;
  bool stopped_ = false;
  int started_ = 0;
  struct Present {
    std::string name;
    std::string instance;
  };
  bool StillPresent(const std::string& identity, const Present& present, const std::vector<SeenPort>& ports) const;

  std::map<std::string, Present> present_;  // by identity
  std::map<std::string, Run> runs_;             // identity -> run under way or waiting to retry
  std::set<std::string> updatedSerials_;
  std::map<std::string, StationTime> succeededAt_;  // port name -> end of its last successful update
  Tally tally_;
};

}  // namespace fwu::cli
