#include "cli/Display.h"

#include "cli/JsonEvents.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"

#include <utility>

namespace fwu::cli {
namespace {

// What each run has published since the last look.
class NewSteps {
 public:
  explicit NewSteps(std::size_t portCount) : seen_(portCount, 0) {}
  std::span<const BodyStep> Of(const Runs& runs, std::size_t portIndex) {
    std::span<const BodyStep> steps = runs[portIndex]->Steps();
    return steps.subspan(std::exchange(seen_[portIndex], steps.size()));
  }

 private:
  std::vector<std::size_t> seen_;
};

// --quiet: the result lines alone, and below each failure why.
class ResultLines : public Display {
 public:
  explicit ResultLines(Output& output) : output_(output) {}
  void Results(const Runs& runs) override {
    for (const auto& run : runs) {
      const RunResult& result = run->Result();
      if (!result.outcome) continue;
      output_.Out(ResultLine(run->Port(), *result.outcome) + "\n");
      if (!result.reason.empty()) output_.Err(ReasonLine(run->Port(), result.reason) + "\n");
    }
  }

 protected:
  Output& output_;
};

// Output that is not a terminal: a line per port at each further 10 %.
class StepLines : public ResultLines {
 public:
  StepLines(std::size_t portCount, Output& output)
      : ResultLines(output), steps_(portCount), reached_(portCount, 0) {}
  void Refresh(const Runs& runs) override {
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      for (const BodyStep& step : steps_.Of(runs, i)) {
        if (TenthOf(step.percent) <= reached_[i]) continue;
        reached_[i] = TenthOf(step.percent);
        BodyProgress progress{.percent = step.percent, .bytes = step.bytes, .total = runs[i]->Total()};
        text += StepLine(runs[i]->Port(), progress) + "\n";
      }
    }
    output_.Out(text);
  }

 private:
  NewSteps steps_;
  std::vector<std::int64_t> reached_;
};

// A terminal: one line per port, redrawn in place at each refresh, each
// fitted to the width the terminal has then (a line that wrapped would take
// two rows, and the redraw would leave copies behind). A terminal without a
// row for each port and one for the cursor gets the lines of each further
// 10 % instead, from then on.
class LiveLines : public StepLines {
 public:
  using StepLines::StepLines;
  void Refresh(const Runs& runs) override {
    std::optional<TerminalSize> size = OutputTerminalSize();
    if (size && static_cast<std::size_t>(size->rows) <= runs.size()) stepped_ = true;
    if (stepped_) return StepLines::Refresh(runs);
    // The last column is left free: there, some terminals wrap at once. A
    // terminal that tells no size (a pty nobody sized) gets whole lines.
    std::size_t width = size ? static_cast<std::size_t>(size->columns - 1) : std::string::npos;
    std::string frame;
    if (drawn_) frame = "\x1b[" + std::to_string(runs.size()) + "A";
    for (const auto& run : runs) frame += "\r\x1b[K" + LiveLine(run->Port(), run->Snapshot(), width) + "\n";
    drawn_ = true;
    output_.Out(frame);
  }

 private:
  bool drawn_ = false;
  bool stepped_ = false;
};

// --json: a line per new percentage, then the results.
class JsonLines : public Display {
 public:
  JsonLines(std::size_t portCount, bool withProgress, Output& output)
      : steps_(portCount), withProgress_(withProgress), output_(output) {}
  void Refresh(const Runs& runs) override {
    if (!withProgress_) return;
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i)
      for (const BodyStep& step : steps_.Of(runs, i))
        text += JsonProgress(runs[i]->Port(), step.percent, step.bytes) + "\n";
    output_.Out(text);
  }
  void Results(const Runs& runs) override {
    for (const auto& run : runs) {
      const RunResult& result = run->Result();
      if (result.outcome)
        output_.Out(JsonResult(run->Port(), *result.outcome, result.bytes, result.seconds, result.reason) + "\n");
    }
  }

 private:
  NewSteps steps_;
  bool withProgress_;
  Output& output_;
};

}  // namespace

std::unique_ptr<Display> MakeDisplay(DisplayForm form, std::size_t portCount, Output& output) {
  switch (form) {
    case DisplayForm::kLive:
      return std::make_unique<LiveLines>(portCount, output);
    case DisplayForm::kSteps:
      return std::make_unique<StepLines>(portCount, output);
    case DisplayForm::kJson:
      return std::make_unique<JsonLines>(portCount, true, output);
    case DisplayForm::kJsonResults:
      return std::make_unique<JsonLines>(portCount, false, output);
    case DisplayForm::kResults:
      break;
  }
  return std::make_unique<ResultLines>(output);
}

}  // namespace fwu::cli
