#include "cli/StationOutput.h"

#include "cli/JsonEvents.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"

#include <nlohmann/json.hpp>

#include <map>

namespace fwu::cli {
namespace {

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
  }
  return "";
}

void Put(std::FILE* out, const std::string& text) {
  std::fputs(text.c_str(), out);
  std::fflush(out);
}

// --quiet: a result line per update with the tally, and the tally at the end.
class ResultLines : public StationOutput {
 public:
  explicit ResultLines(std::FILE* out) : out_(out) {}
  void Result(const std::string& port, const RunResult& result, const Tally& tally) override {
    Line(ResultLine(port, *result.outcome) + "  (" + TallyText(tally) + ")");
  }
  void Ended(const Tally& tally) override { Line(TallyText(tally)); }

 protected:
  // A line that stays; the live lines, if any, go first.
  virtual void Line(const std::string& text) { Put(out_, text + "\n"); }

  std::FILE* out_;
};

// Ports that appear and go besides the results; progress a line per port at
// each further 10 %.
class StepLines : public ResultLines {
 public:
  using ResultLines::ResultLines;
  void Appeared(const Appearance& appearance) override {
    if (appearance.verdict == Verdict::kUpdate) return Line(appearance.name + ": appeared, updating");
    Line(appearance.name + ": appeared, left alone: " + std::string(VerdictText(appearance.verdict)));
  }
  void Gone(const std::string& port) override { Line(port + ": gone"); }
  void Progress(const std::string& port, const BodyProgress& progress) override {
    std::int64_t& reached = reached_[port];
    if (TenthOf(progress.percent) <= reached) return;
    reached = TenthOf(progress.percent);
    Line(StepLine(port, progress));
  }
  void Result(const std::string& port, const RunResult& result, const Tally& tally) override {
    reached_.erase(port);
    ResultLines::Result(port, result, tally);
  }

 private:
  std::map<std::string, std::int64_t> reached_;
};

// A terminal: the lines that stay scroll up above a live line per run under
// way, redrawn at each tick.
class LiveLines : public StepLines {
 public:
  using StepLines::StepLines;
  void Progress(const std::string& /*port*/, const BodyProgress& /*progress*/) override {}
  void Live(const std::vector<const PortRun*>& runs) override {
    std::string frame = Erase();
    for (const PortRun* run : runs) frame += "\r\x1b[K" + LiveLine(run->Port(), run->Snapshot()) + "\n";
    rows_ = runs.size();
    Put(out_, frame);
  }

 protected:
  void Line(const std::string& text) override {
    std::string frame = Erase();
    rows_ = 0;
    Put(out_, frame + text + "\n");
  }

 private:
  // Back to the first live line, clearing it and all below.
  std::string Erase() const { return rows_ ? "\x1b[" + std::to_string(rows_) + "A\r\x1b[J" : ""; }

  std::size_t rows_ = 0;
};

// --json: an object a line; with --quiet, the results alone.
class JsonLines : public StationOutput {
 public:
  JsonLines(bool everything, std::FILE* out) : everything_(everything), out_(out) {}
  void Appeared(const Appearance& appearance) override {
    nlohmann::ordered_json event{
        {"port", appearance.name}, {"event", "appeared"}, {"update", appearance.verdict == Verdict::kUpdate}};
    if (appearance.verdict != Verdict::kUpdate) event["reason"] = VerdictText(appearance.verdict);
    if (everything_) Line(event);
  }
  void Gone(const std::string& port) override {
    if (everything_) Line({{"port", port}, {"event", "gone"}});
  }
  void Progress(const std::string& port, const BodyProgress& progress) override {
    if (everything_) Put(out_, JsonProgress(port, progress.percent, progress.bytes) + "\n");
  }
  // The result object of a --port run, with the tally after it.
  void Result(const std::string& port, const RunResult& result, const Tally& tally) override {
    auto event = nlohmann::ordered_json::parse(JsonResult(port, *result.outcome, result.bytes, result.seconds));
    event["updated"] = tally.updated;
    event["failed"] = tally.failed;
    Line(event);
  }
  void Ended(const Tally& /*tally*/) override {}

 private:
  void Line(const nlohmann::ordered_json& event) {
    Put(out_, event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  }

  bool everything_;
  std::FILE* out_;
};

}  // namespace

std::string TallyText(const Tally& tally) {
  return std::to_string(tally.updated) + " updated, " + std::to_string(tally.failed) + " failed";
}

std::unique_ptr<StationOutput> MakeStationOutput(bool json, bool quiet, std::FILE* out) {
  if (json) return std::make_unique<JsonLines>(!quiet, out);
  if (quiet) return std::make_unique<ResultLines>(out);
  if (PrepareLiveOutput()) return std::make_unique<LiveLines>(out);
  return std::make_unique<StepLines>(out);
}

}  // namespace fwu::cli
