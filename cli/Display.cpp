#include "cli/Display.h"

#include "cli/JsonEvents.h"
#include "cli/ResultText.h"

#include <mutex>

namespace fwu::cli {
namespace {

// Writes whole lines, one writer at a time, each flushed at once so that a
// program reading the output sees it as it comes.
class LineWriter {
 public:
  explicit LineWriter(std::FILE* out) : out_(out) {}
  void Write(const std::string& line) {
    std::lock_guard hold(lock_);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }
  std::FILE* Stream() const { return out_; }

 private:
  std::mutex lock_;
  std::FILE* out_;
};

// --quiet: the result lines alone.
class ResultLines : public Display {
 public:
  explicit ResultLines(std::FILE* out) : writer_(out) {}
  void Results(const Runs& runs) override {
    for (const auto& run : runs) writer_.Write(ResultLine(run->Port(), *run->Result().outcome));
  }

 protected:
  LineWriter writer_;
};

// Output that is not a terminal: a line per port at each further 10 %.
class StepLines : public ResultLines {
 public:
  StepLines(std::vector<std::string> ports, std::FILE* out)
      : ResultLines(out), ports_(std::move(ports)), reached_(ports_.size(), 0) {}
  // reached_[i] is touched by port i's thread alone.
  void Progress(std::size_t portIndex, const BodyProgress& progress) override {
    std::int64_t tenth = TenthOf(progress.percent);
    if (tenth <= reached_[portIndex]) return;
    reached_[portIndex] = tenth;
    writer_.Write(StepLine(ports_[portIndex], progress));
  }

 private:
  std::vector<std::string> ports_;
  std::vector<std::int64_t> reached_;
};

// A terminal: one line per port, redrawn in place at each refresh.
class LiveLines : public ResultLines {
 public:
  using ResultLines::ResultLines;
  void Refresh(const Runs& runs) override {
    std::string frame;
    if (drawn_) frame = "\x1b[" + std::to_string(runs.size()) + "A";
    for (const auto& run : runs) frame += "\r\x1b[K" + LiveLine(run->Port(), run->Snapshot()) + "\n";
    drawn_ = true;
    std::fputs(frame.c_str(), writer_.Stream());
    std::fflush(writer_.Stream());
  }

 private:
  bool drawn_ = false;  // main thread only
};

// --json: a line per new percentage, then the results.
class JsonLines : public Display {
 public:
  JsonLines(std::vector<std::string> ports, bool withProgress, std::FILE* out)
      : ports_(std::move(ports)), withProgress_(withProgress), writer_(out) {}
  void Progress(std::size_t portIndex, const BodyProgress& progress) override {
    if (withProgress_) writer_.Write(JsonProgress(ports_[portIndex], progress.percent, progress.bytes));
  }
  void Results(const Runs& runs) override {
    for (const auto& run : runs) {
      const RunResult& result = run->Result();
      writer_.Write(JsonResult(run->Port(), *result.outcome, result.bytes, result.seconds));
    }
  }

 private:
  std::vector<std::string> ports_;
  bool withProgress_;
  LineWriter writer_;
};

}  // namespace

std::unique_ptr<Display> MakeDisplay(DisplayForm form, std::vector<std::string> ports, std::FILE* out) {
  switch (form) {
    case DisplayForm::kLive:
      return std::make_unique<LiveLines>(out);
    case DisplayForm::kSteps:
      return std::make_unique<StepLines>(std::move(ports), out);
    case DisplayForm::kJson:
      return std::make_unique<JsonLines>(std::move(ports), true, out);
    case DisplayForm::kJsonResults:
      return std::make_unique<JsonLines>(std::move(ports), false, out);
    case DisplayForm::kResults:
      break;
  }
  return std::make_unique<ResultLines>(out);
}

}  // namespace fwu::cli
