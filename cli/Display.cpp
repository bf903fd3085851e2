#include "cli/Display.h"

#include "cli/JsonEvents.h"
#include "cli/Platform.h"

#include <map>
#include <utility>

namespace fwu::cli {
namespace {

// What each run has published since the last look.
class NewSteps {
 public:
  std::span<const BodyStep> Of(const PortRun& run) {
    std::span<const BodyStep> steps = run.Steps();
    return steps.subspan(std::exchange(seen_[&run], steps.size()));
  }
  void Forget(const PortRun& run) { seen_.erase(&run); }

 private:
  std::map<const PortRun*, std::size_t> seen_;
};

// --quiet: the result lines alone, and below each failure why.
class ResultLines : public Display {
 public:
  explicit ResultLines(Output& output) : output_(output) {}
  void Result(const PortRun& run, const Tally* tally, std::string_view notRecorded) override {
    const RunResult& result = run.Result();
    if (!result.outcome) return;
    std::string line = ResultLine(run.Port(), *result.outcome);
    if (tally) line += "  (" + TallyText(*tally) + ")";
    if (!notRecorded.empty()) line.append("  not recorded: ").append(notRecorded);
    Stay(line + "\n");
    if (!result.reason.empty()) output_.Err(ReasonLine(run.Port(), result.reason) + "\n");
  }
  void Ended(const Tally& tally) override { Stay(TallyText(tally) + "\n"); }

 protected:
  // Lines that stay (on a terminal, above the live lines).
  virtual void Stay(const std::string& text) { output_.Out(text); }

  Output& output_;
};

// Output that is not a terminal: a line per run at each further 10 %, and a
// station's ports as they appear and go.
class StepLines : public ResultLines {
 public:
  using ResultLines::ResultLines;
  void Refresh(const RunView& runs) override {
    std::string text;
    for (const PortRun* run : runs) {
      std::int64_t& reached = reached_[run];
      for (const BodyStep& step : steps_.Of(*run)) {
        if (TenthOf(step.percent) <= reached) continue;
        reached = TenthOf(step.percent);
        BodyProgress progress{.percent = step.percent, .bytes = step.bytes, .total = run->Total()};
        text += StepLine(run->Port(), progress) + "\n";
      }
    }
    Stay(text);
  }
  void Forget(const PortRun& run) override {
    steps_.Forget(run);
    reached_.erase(&run);
  }
  void Appeared(std::string_view port, std::string_view leftAloneBecause) override {
    std::string line(port);
    if (leftAloneBecause.empty()) line += ": appeared, updating\n";
    else line.append(": appeared, left alone: ").append(leftAloneBecause).append("\n");
    Stay(line);
  }
  void Gone(std::string_view port) override { Stay(std::string(port) + ": gone\n"); }
  void Station(std::string_view recordFile, std::string_view sha256) override {
    std::string where = recordFile.empty() ? "records nothing" : "records to " + std::string(recordFile);
    Stay("station: " + where + "; firmware SHA-256 " + std::string(sha256) + "\n");
  }

 private:
  NewSteps steps_;
  std::map<const PortRun*, std::int64_t> reached_;
};

// A terminal: one line per run under way, redrawn in place at each refresh,
// each fitted to the width the terminal has then (a line that wrapped would
// take two rows, and the redraw would leave copies behind). A terminal
// without a row for each run and one for the cursor gets the lines of each
// further 10 % instead, from then on.
class LiveLines : public StepLines {
 public:
  using StepLines::StepLines;
  void Refresh(const RunView& runs) override {
    std::optional<TerminalSize> size = OutputTerminalSize();
    if (size && static_cast<std::size_t>(size->rows) <= runs.size() && !stepped_) {
      Settle();
      stepped_ = true;
    }
    if (stepped_) return StepLines::Refresh(runs);
    // The last column is left free: there, some terminals wrap at once. A
    // terminal that tells no size (a pty nobody sized) gets whole lines.
    std::size_t width = size ? static_cast<std::size_t>(size->columns - 1) : std::string::npos;
    std::string frame = Up();
    for (const PortRun* run : runs) frame += "\r\x1b[K" + LiveLine(run->Port(), run->Snapshot(), width) + "\n";
    if (runs.size() < rows_) frame += "\x1b[J";  // the rows of runs that left
    rows_ = runs.size();
    output_.Out(frame);
  }
  void Settle() override { rows_ = 0; }

 protected:
  // In place of the live lines, which the next refresh draws below.
  void Stay(const std::string& text) override {
    if (text.empty()) return;
    output_.Out(rows_ ? Up() + "\r\x1b[J" + text : text);
    rows_ = 0;
  }

 private:
  // Back to the first live line.
  std::string Up() const { return rows_ ? "\x1b[" + std::to_string(rows_) + "A" : ""; }

  std::size_t rows_ = 0;
  bool stepped_ = false;
};

// --json: a line per new percentage, the results and a station's ports.
class JsonLines : public Display {
 public:
  JsonLines(bool everything, Output& output) : everything_(everything), output_(output) {}
  void Refresh(const RunView& runs) override {
    if (!everything_) return;
    std::string text;
    for (const PortRun* run : runs)
      for (const BodyStep& step : steps_.Of(*run)) text += JsonProgress(run->Port(), step.percent, step.bytes) + "\n";
    output_.Out(text);
  }
  void Result(const PortRun& run, const Tally* tally, std::string_view notRecorded) override {
    const RunResult& result = run.Result();
    if (result.outcome)
      output_.Out(JsonResult(run.Port(), *result.outcome, result.bytes, result.seconds, result.reason, tally,
                             notRecorded) +
                  "\n");
  }
  void Station(std::string_view recordFile, std::string_view sha256) override {
    if (everything_) output_.Out(JsonStation(recordFile, sha256) + "\n");
  }
  void Forget(const PortRun& run) override { steps_.Forget(run); }
  void Appeared(std::string_view port, std::string_view leftAloneBecause) override {
    if (everything_) output_.Out(JsonAppeared(port, leftAloneBecause) + "\n");
  }
  void Gone(std::string_view port) override {
    if (everything_) output_.Out(JsonGone(port) + "\n");
  }

 private:
  NewSteps steps_;
  bool everything_;
  Output& output_;
};

}  // namespace

DisplayForm FormFor(bool json, bool quiet) {
  if (json) return quiet ? DisplayForm::kJsonResults : DisplayForm::kJson;
  if (quiet) return DisplayForm::kResults;
  return PrepareLiveOutput() ? DisplayForm::kLive : DisplayForm::kSteps;
}

std::unique_ptr<Display> MakeDisplay(DisplayForm form, Output& output) {
  switch (form) {
    case DisplayForm::kLive:
      return std::make_unique<LiveLines>(output);
    case DisplayForm::kSteps:
      return std::make_unique<StepLines>(output);
    case DisplayForm::kJson:
      return std::make_unique<JsonLines>(true, output);
    case DisplayForm::kJsonResults:
      return std::make_unique<JsonLines>(false, output);
    case DisplayForm::kResults:
      break;
  }
  return std::make_unique<ResultLines>(output);
}

}  // namespace fwu::cli
