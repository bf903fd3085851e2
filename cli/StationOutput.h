// What the station (fwupload --watch) shows: the ports that appear and go,
// its runs' progress and results with the running tally, and the tally at
// the end. The forms follow fwupload's: live lines for the runs under way on
// a terminal, a line per further 10 % elsewhere, JSON lines (--json), the
// result lines alone (--quiet).
//
// Threads: the main thread alone calls every function; the runs' threads
// never write output.
#pragma once

#include "cli/PortRun.h"
#include "cli/Station.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace fwu::cli {

class StationOutput {
 public:
  virtual ~StationOutput() = default;
  virtual void Appeared(const Appearance& /*appearance*/) {}
  virtual void Gone(const std::string& /*port*/) {}
  // A new percentage of a run's body, in the order the run reached them.
  virtual void Progress(const std::string& /*port*/, const BodyProgress& /*progress*/) {}
  // The runs under way, every tick while there are any, and once after.
  virtual void Live(const std::vector<const PortRun*>& /*runs*/) {}
  // A run's result, with the tally it makes.
  virtual void Result(const std::string& port, const RunResult& result, const Tally& tally) = 0;
  // The station's normal end.
  virtual void Ended(const Tally& tally) = 0;
};

// "3 updated, 1 failed"
std::string TallyText(const Tally& tally);

// The form for --json and --quiet; live lines where standard output is a
// terminal that takes them.
std::unique_ptr<StationOutput> MakeStationOutput(bool json, bool quiet, std::FILE* out);

}  // namespace fwu::cli
