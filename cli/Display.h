// What fwupload shows while its runs go on and once they have ended: a live
// line per port on a terminal (a line per port at each further 10 % when the
// terminal has fewer rows than ports, or on any other output), JSON lines
// (--json; with --quiet, the results alone), or the result lines alone
// (--quiet). Below a failed result, on standard error, the line that says
// why, where that is known (in JSON, the result's "reason").
//
// Threads: the main thread alone; it reads what the runs publish.
#pragma once

#include "cli/Output.h"
#include "cli/PortRun.h"

#include <memory>
#include <vector>

namespace fwu::cli {

using Runs = std::vector<std::unique_ptr<PortRun>>;

class Display {
 public:
  virtual ~Display() = default;
  // Called every tick while the runs go on, and once after they have ended.
  virtual void Refresh(const Runs& /*runs*/) {}
  // Once every run has ended, in the order the ports were given: the runs
  // that have an outcome (an interrupt leaves some without).
  virtual void Results(const Runs& runs) = 0;
};

enum class DisplayForm { kLive, kSteps, kJson, kJsonResults, kResults };

std::unique_ptr<Display> MakeDisplay(DisplayForm form, std::size_t portCount, Output& output);

}  // namespace fwu::cli
