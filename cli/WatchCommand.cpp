// The station on two threads besides its runs'. The watcher looks at the
// ports, starts the runs the station decides on (each on a thread of its own,
// as a --port run) and collects those that have ended; it never writes
// output, but posts what happened to the mailbox, so that a terminal that is
// stopped or a reader that is slow never delays finding a board or starting
// its run. The main thread takes the posts and shows them, with the progress
// the runs publish.
//
// Threads: the watcher alone owns the Station, its patterns and its map of
// runs. The mailbox's fields are guarded by its lock, which is held just to
// add or take, never while writing. The main thread alone owns the output,
// the display and the runs shown. A run is shared between the two; the
// watcher joins it before it posts that it ended.
#include "cli/WatchCommand.h"

#include "cli/Display.h"
#include "cli/Firmware.h"
#include "cli/LinePublishing.h"
#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/Station.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace fwu::cli {
namespace {

// How often the ports are looked at while nothing runs: a board is seen
// within this of its appearance.
constexpr std::chrono::milliseconds kIdleTick{250};
// While runs go on: how soon a run's end is seen, and a retried open's pace;
// and the live lines' refresh.
constexpr std::chrono::milliseconds kBusyTick{50};
// How long the main thread waits for a post while no run is shown.
constexpr std::chrono::seconds kIdleWait{1};

StationTime Now() { return std::chrono::steady_clock::now(); }

// What the watcher saw or did, for the main thread to show.
struct Post {
  enum class Kind { kAppeared, kGone, kStarted, kEnded } kind;
  std::string port;
  std::string leftAloneBecause{};        // kAppeared: empty when it is updated
  std::shared_ptr<const PortRun> run{};  // kStarted, kEnded
  std::optional<Tally> tally{};          // kEnded, when the run counts
};

// How the watcher ended.
struct WatchEnd {
  bool interrupted = false;  // with runs under way
  Tally tally;
  int status = 0;
};

class Mailbox {
 public:
  void Add(Post post) {
    std::lock_guard hold(lock_);
    posts_.push_back(std::move(post));
    arrived_.notify_one();
  }
  // After the watcher's last post.
  void Close(WatchEnd end) {
    std::lock_guard hold(lock_);
    end_ = end;
    arrived_.notify_one();
  }
  // What came, waiting up to `most` for something; and the end once every
  // post is taken.
  std::pair<std::vector<Post>, std::optional<WatchEnd>> Take(std::chrono::milliseconds most) {
    std::unique_lock hold(lock_);
    arrived_.wait_for(hold, most, [&] { return !posts_.empty() || end_; });
    return {std::exchange(posts_, {}), end_};
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<Post> posts_;
  std::optional<WatchEnd> end_;
};

class Watcher {
 public:
  Watcher(const Command& command, const FirmwareFile& firmware, const std::atomic<bool>& interrupted,
          Mailbox& mailbox)
      : patterns_(command.ports.empty() ? DefaultWatchPatterns() : command.ports),
        firmware_(firmware),
        interrupted_(interrupted),
        station_(StationRules{command.present, command.serialsAgain, command.count}),
        mailbox_(mailbox) {}

  void Run() { mailbox_.Close(Watch()); }

 private:
  WatchEnd Watch() {
    for (;;) {
      // Before the runs are collected: a run the interrupt stopped ends at
      // once, and must still count as under way.
      if (interrupted_.load()) return Interrupted();
      Collect();
      if (station_.Done()) return Ended();
      Look();
      std::this_thread::sleep_for(station_.Busy() ? kBusyTick : kIdleTick);
    }
  }

  void Look() {
    StationStep step = station_.Look(FindPorts(patterns_), Now());
    for (std::string& port : step.gone) mailbox_.Add({.kind = Post::Kind::kGone, .port = std::move(port)});
    for (const Appearance& appearance : step.appeared)
      mailbox_.Add({.kind = Post::Kind::kAppeared,
                    .port = appearance.name,
                    .leftAloneBecause = std::string(VerdictText(appearance.verdict))});
    for (const RunStart& start : step.start) Launch(start);
  }

  void Launch(const RunStart& start) {
    auto run = std::make_shared<PortRun>(start.name, firmware_, interrupted_);
    run->Start();
    running_[start.identity] = run;
    mailbox_.Add({.kind = Post::Kind::kStarted, .port = start.name, .run = run});
  }

  void Collect() {
    for (auto it = running_.begin(); it != running_.end();) {
      PortRun& run = *it->second;
      if (!run.Finished()) {
        ++it;
        continue;
      }
      run.Join();
      Post ended{.kind = Post::Kind::kEnded, .port = run.Port(), .run = it->second};
      if (station_.Ended(it->first, run.Result().outcome, Now()) == Station::RunEnd::kTallied)
        ended.tally = station_.Counts();
      mailbox_.Add(std::move(ended));
      it = running_.erase(it);
    }
  }

  WatchEnd Ended() const { return {false, station_.Counts(), station_.ExitStatus()}; }

  // With no run under way, the normal end. Otherwise every run stops at its
  // next step; those that had ended still show their results.
  WatchEnd Interrupted() {
    if (!station_.Busy()) return Ended();
    for (auto& [identity, run] : running_) run->Join();
    Collect();
    return {true, station_.Counts(), kExitInterrupted};
  }

  std::vector<std::string> patterns_;
  const FirmwareFile& firmware_;
  const std::atomic<bool>& interrupted_;
  Station station_;
  Mailbox& mailbox_;
  std::map<std::string, std::shared_ptr<PortRun>> running_;  // by port identity
};

// The main thread's part: shows the posts as they come, and the progress of
// the runs under way, until the watcher has ended.
class Showing {
 public:
  explicit Showing(Display& display) : display_(display) {}

  WatchEnd Run(Mailbox& mailbox) {
    for (;;) {
      auto [posts, end] = mailbox.Take(shown_.empty() ? std::chrono::milliseconds(kIdleWait) : kBusyTick);
      for (Post& post : posts) Show(post);
      display_.Refresh(View());  // with none, it clears the live lines of runs that left
      if (end) return *end;
    }
  }

 private:
  void Show(const Post& post) {
    switch (post.kind) {
      case Post::Kind::kAppeared:
        return display_.Appeared(post.port, post.leftAloneBecause);
      case Post::Kind::kGone:
        return display_.Gone(post.port);
      case Post::Kind::kStarted:
        shown_.push_back(post.run);
        return;
      case Post::Kind::kEnded:
        return Leave(*post.run, post.tally);
    }
  }

  // A run's last progress, then its result where it counts.
  void Leave(const PortRun& run, const std::optional<Tally>& tally) {
    display_.Refresh(View());
    if (tally) display_.Result(run, &*tally);
    display_.Forget(run);
    std::erase_if(shown_, [&](const auto& shown) { return shown.get() == &run; });
  }

  RunView View() const {
    RunView view;
    for (const auto& run : shown_) view.push_back(run.get());
    return view;
  }

  Display& display_;
  std::vector<std::shared_ptr<const PortRun>> shown_;  // in the order they started
};

}  // namespace

int RunWatch(const Command& command, const std::atomic<bool>& interrupted) {
  Output output;
  const FirmwareFile firmware = ReadFirmwareFile(command.file, interrupted);
  if (interrupted.load()) {
    output.Err("fwupload: interrupted\n");
    return kExitInterrupted;
  }
  if (!firmware.Read()) {
    output.Err("fwupload: " + std::string(OutcomeTitle(Outcome::kFirmwareMissing)) + " " +
               std::string(OutcomeText(Outcome::kFirmwareMissing)) + " (" + firmware.problem + ")\n");
    return static_cast<int>(Outcome::kFirmwareMissing);
  }
  Displayed displayed = WithPublishing(MakeDisplay(FormFor(command.json, command.quiet), output), output, command, "");
  if (!displayed.display) {
    output.Err("fwupload: " + displayed.problem + "\n");
    return kExitNoInput;
  }
  auto& display = displayed.display;
  Mailbox mailbox;
  Watcher watcher(command, firmware, interrupted, mailbox);
  std::thread watching([&] { watcher.Run(); });
  WatchEnd end = Showing(*display).Run(mailbox);
  watching.join();
  if (end.interrupted) {
    output.Err("fwupload: interrupted\n");
    return kExitInterrupted;
  }
  display->Ended(end.tally);
  return end.status;
}

}  // namespace fwu::cli
