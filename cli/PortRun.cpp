#include "cli/PortRun.h"

#include "cli/Firmware.h"
#include "cli/Platform.h"

#include <algorithm>

namespace fwu::cli {

namespace {

using SteadyTime = std::chrono::steady_clock;

constexpr unsigned kStepsPerClockRead = 16;

SteadyTime::rep Now() { return SteadyTime::now().time_since_epoch().count(); }

}  // namespace

PortRun::PortRun(std::size_t index, std::string port, const std::optional<std::vector<std::uint8_t>>& firmware,
                 ProgressSink& sink, const std::atomic<bool>& interrupted)
    : index_(index),
      port_(std::move(port)),
      firmware_(firmware),
      total_(firmware ? std::max<std::int64_t>(BodyLength(static_cast<std::int64_t>(firmware->size())), 0) : 0),
      sink_(sink),
      interrupted_(interrupted) {}

PortRun::~PortRun() { Join(); }

void PortRun::Start() {
  startedAt_ = SteadyTime::now();
  thread_ = std::thread([this] { Execute(); });
}

void PortRun::RunHere(std::function<void()> tick, std::chrono::milliseconds interval) {
  tick_ = std::move(tick);
  tickInterval_ = interval;
  startedAt_ = nextTick_ = SteadyTime::now();
  Execute();
}

void PortRun::Join() {
  if (thread_.joinable()) thread_.join();
}

BodyProgress PortRun::Snapshot() const {
  BodyProgress progress{percent_.load(std::memory_order_relaxed), bytes_.load(std::memory_order_relaxed), total_};
  auto start = bodyStart_.load(std::memory_order_relaxed);
  auto end = bodyEnd_.load(std::memory_order_relaxed);
  if (start != 0) progress.elapsed = SteadyTime::duration((end != 0 ? end : Now()) - start);
  return progress;
}

void PortRun::Execute() {
  result_.outcome = Upload();
  result_.bytes = bytes_.load(std::memory_order_relaxed);
  result_.seconds = SteadyTime::now() - startedAt_;
  finished_.store(true, std::memory_order_release);
}

std::optional<Outcome> PortRun::Upload() {
  if (!firmware_) return Outcome::kFirmwareMissing;
  LineOpening opening = OpenLine(port_);
  if (!opening.line) {
    result_.reason = std::move(opening.reason);
    return Outcome::kPortUnavailable;
  }
  FirmwareBytes firmware(*firmware_);
  std::unique_ptr<Clock> clock = MakeRunClock();
  return UploadRun(*opening.line, firmware, *clock, *this).Run();
}

bool PortRun::StopRequested() {
  // The clock is read every few steps only: a read costs some 30 ns, and in
  // the body of a fast line a step comes every microsecond.
  if (tick_ && ++steps_ % kStepsPerClockRead == 0) {
    auto now = SteadyTime::now();
    if (now >= nextTick_) {
      nextTick_ = now + tickInterval_;
      tick_();
    }
  }
  return interrupted_.load(std::memory_order_relaxed);
}

void PortRun::Progress(std::int64_t percent, std::int64_t bodyBytes) {
  if (bodyBytes == 1) bodyStart_.store(Now(), std::memory_order_relaxed);
  if (bodyBytes == total_) bodyEnd_.store(Now(), std::memory_order_relaxed);
  bytes_.store(bodyBytes, std::memory_order_relaxed);
  if (percent == percent_.load(std::memory_order_relaxed)) return;
  percent_.store(percent, std::memory_order_relaxed);
  sink_.Progress(index_, Snapshot());
}

}  // namespace fwu::cli
