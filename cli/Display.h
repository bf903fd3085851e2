// What fwupload shows while its runs go on and as they end: a live line per
// run under way on a terminal (a line per run at each further 10 % when the
// terminal has fewer rows than runs, or on any other output), JSON lines
// (--json; with --quiet, the results alone), or the result lines alone
// (--quiet). Below a failed result, on standard error, the line that says
// why, where that is known (in JSON, the result's "reason"). A station
// (--watch) adds where it records, the ports that appear and go, a tally
// with each result and at its end; on a terminal, the lines that stay scroll up above the live
// lines of the runs under way.
//
// Threads: the main thread alone; it reads what the runs publish.
#pragma once

#include "cli/Output.h"
#include "cli/PortRun.h"
#include "cli/ResultText.h"

#include <memory>
#include <string_view>
#include <vector>

namespace fwu::cli {

using RunView = std::vector<const PortRun*>;

class Display {
 public:
  virtual ~Display() = default;
  // Every tick, the runs under way: an upload's all of them, to their end; a
  // station's from their start until they leave it.
  virtual void Refresh(const RunView& /*runs*/) {}
  // A run that has ended, once a Refresh has seen it finished: its result,
  // with a station's tally when there is one, and why its record could not
  // be written (empty when it was, or nothing is recorded).
  virtual void Result(const PortRun& run, const Tally* tally, std::string_view notRecorded) = 0;
  // A run no Refresh shows again (its object may go, and another take its place).
  virtual void Forget(const PortRun& /*run*/) {}
  // The live lines stay as they stand; what follows goes below them.
  virtual void Settle() {}
  // A station's start: where it records (empty: nowhere), and the
  // firmware's SHA-256.
  virtual void Station(std::string_view /*recordFile*/, std::string_view /*sha256*/) {}
  // A station's port that appeared (left alone, and why, when the reason is
  // not empty) or went, and the station's normal end.
  virtual void Appeared(std::string_view /*port*/, std::string_view /*leftAloneBecause*/) {}
  virtual void Gone(std::string_view /*port*/) {}
  virtual void Ended(const Tally& /*tally*/) {}
};

enum class DisplayForm { kLive, kSteps, kJson, kJsonResults, kResults };

// From --json and --quiet, and whether standard output takes live lines.
DisplayForm FormFor(bool json, bool quiet);
std::unique_ptr<Display> MakeDisplay(DisplayForm form, Output& output);

}  // namespace fwu::cli
