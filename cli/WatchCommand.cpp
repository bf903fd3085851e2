// The station's loop, on the main thread: look at the ports, start the runs
// the station decides on (each on a thread of its own, as a --port run),
// collect the runs that ended, show what happened.
//
// Threads: the main thread owns everything here. A run's thread touches only
// its PortRun and the mailbox, which holds its lock just to add or take.
#include "cli/WatchCommand.h"

#include "cli/Firmware.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/StationOutput.h"

#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace fwu::cli {
namespace {

// How often the ports are looked at while nothing runs: a board is seen
// within this of its appearance.
constexpr std::chrono::milliseconds kIdleTick{250};
// While runs go on: the live lines' refresh, a retried open's pace.
constexpr std::chrono::milliseconds kBusyTick{50};

StationTime Now() { return std::chrono::steady_clock::now(); }

// The runs' new percentages, kept for the main thread to show.
class ProgressMailbox : public ProgressSink {
 public:
  struct Post {
    std::size_t run;
    BodyProgress progress;
  };
  void Progress(std::size_t run, const BodyProgress& progress) override {
    std::lock_guard hold(lock_);
    posts_.push_back({run, progress});
  }
  std::vector<Post> Take() {
    std::lock_guard hold(lock_);
    return std::exchange(posts_, {});
  }

 private:
  std::mutex lock_;
  std::vector<Post> posts_;
};

class Watch {
 public:
  Watch(const Command& command, std::optional<std::vector<std::uint8_t>> firmware, const std::atomic<bool>& interrupted)
      : patterns_(command.ports.empty() ? DefaultWatchPatterns() : command.ports),
        firmware_(std::move(firmware)),
        interrupted_(interrupted),
        station_(StationRules{command.present, command.serialsAgain, command.count}),
        output_(MakeStationOutput(command.json, command.quiet, stdout)) {}

  int Run() {
    for (;;) {
      Collect();
      if (interrupted_.load()) return Interrupted();
      if (station_.Done()) break;
      Look();
      ShowLive();
      std::this_thread::sleep_for(station_.Busy() ? kBusyTick : kIdleTick);
    }
    output_->Ended(station_.Counts());
    return station_.ExitStatus();
  }

 private:
  struct Running {
    std::size_t index;
    std::unique_ptr<PortRun> run;
  };

  void Look() {
    StationStep step = station_.Look(FindPorts(patterns_), Now());
    for (const std::string& port : step.gone) output_->Gone(port);
    for (const Appearance& appearance : step.appeared) output_->Appeared(appearance);
    for (const RunStart& start : step.start) Launch(start);
  }

  void Launch(const RunStart& start) {
    std::size_t index = nextIndex_++;
    auto run = std::make_unique<PortRun>(index, start.name, firmware_, mailbox_, interrupted_);
    run->Start();
    names_[index] = start.name;
    running_[start.identity] = {index, std::move(run)};
  }

  // The runs that have ended are taken first, then every progress posted so
  // far, which holds all of theirs: a run's last steps come before its result.
  void Collect() {
    std::vector<std::string> ended;
    for (const auto& [identity, running] : running_)
      if (running.run->Finished()) ended.push_back(identity);
    for (const ProgressMailbox::Post& post : mailbox_.Take()) output_->Progress(names_.at(post.run), post.progress);
    for (const std::string& identity : ended) {
      auto found = running_.find(identity);
      PortRun& run = *found->second.run;
      run.Join();
      if (station_.Ended(identity, run.Result().outcome, Now()) == Station::RunEnd::kTallied)
        output_->Result(run.Port(), run.Result(), station_.Counts());
      names_.erase(found->second.index);
      running_.erase(found);
    }
  }

  void ShowLive() {
    std::vector<const PortRun*> runs;
    for (const auto& [identity, running] : running_) runs.push_back(running.run.get());
    if (!runs.empty() || shownLive_) output_->Live(runs);
    shownLive_ = !runs.empty();
  }

  // With no run under way, the normal end. Otherwise every run stops at its
  // next step; those that had ended still show their results.
  int Interrupted() {
    if (!station_.Busy()) {
      output_->Ended(station_.Counts());
      return station_.ExitStatus();
    }
    for (auto& [identity, running] : running_) running.run->Join();
    Collect();
    std::fputs("fwupload: interrupted\n", stderr);
    return kExitInterrupted;
  }

  std::vector<std::string> patterns_;
  std::optional<std::vector<std::uint8_t>> firmware_;
  const std::atomic<bool>& interrupted_;
  Station station_;
  std::unique_ptr<StationOutput> output_;
  ProgressMailbox mailbox_;
  std::map<std::string, Running> running_;    // by port identity
  std::map<std::size_t, std::string> names_;  // port name by run index
  std::size_t nextIndex_ = 0;
  bool shownLive_ = false;
};

}  // namespace

int RunWatch(const Command& command) {
  static std::atomic<bool> interrupted{false};
  CatchInterrupts(interrupted);
  auto firmware = ReadFirmwareFile(command.file);
  if (!firmware) {
    std::fprintf(stderr, "fwupload: %s %s (%s)\n", std::string(OutcomeTitle(Outcome::kFirmwareMissing)).c_str(),
                 std::string(OutcomeText(Outcome::kFirmwareMissing)).c_str(), command.file.c_str());
    return static_cast<int>(Outcome::kFirmwareMissing);
  }
  return Watch(command, std::move(firmware), interrupted).Run();
}

}  // namespace fwu::cli
