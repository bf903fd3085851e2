// What fwupload shows while its runs go on and once they have ended: a live
// line per port on a terminal, a line per port at each further 10 %
// elsewhere, JSON lines (--json; with --quiet, the results alone), or the
// result lines alone (--quiet).
//
// Threads: Progress comes from the runs' threads and writes under the
// display's own lock; Refresh and Results come from the main thread.
#pragma once

#include "cli/PortRun.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace fwu::cli {

using Runs = std::vector<std::unique_ptr<PortRun>>;

class Display : public ProgressSink {
 public:
  void Progress(std::size_t /*portIndex*/, const BodyProgress& /*progress*/) override {}
  // Called every tick while the runs go on, and once after they have ended.
  virtual void Refresh(const Runs& /*runs*/) {}
  // Once every run has ended with an outcome, in the order the ports were given.
  virtual void Results(const Runs& runs) = 0;
};

enum class DisplayForm { kLive, kSteps, kJson, kJsonResults, kResults };

std::unique_ptr<Display> MakeDisplay(DisplayForm form, std::vector<std::string> ports, std::FILE* out);

}  // namespace fwu::cli
