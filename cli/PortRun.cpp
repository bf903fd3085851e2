#include "cli/PortRun.h"

#include "cli/Platform.h"

#include <algorithm>

namespace fwu::cli {

namespace {

using SteadyTime = std::chrono::steady_clock;

SteadyTime::rep Now() { return SteadyTime::now().time_since_epoch().count(); }

}  // namespace

PortRun::PortRun(std::string port, const FirmwareFile& firmware, const std::atomic<bool>& interrupted)
    : port_(std::move(port)),
      firmware_(firmware),
      total_(std::max<std::int64_t>(BodyLength(static_cast<std::int64_t>(firmware.Bytes().size())), 0)),
      interrupted_(interrupted) {}

PortRun::~PortRun() { Join(); }

void PortRun::Start() {
  described_ = DescribePort(port_);
  startedAtUtc_ = std::chrono::system_clock::now();
  startedAt_ = SteadyTime::now();
  thread_ = std::thread([this] { Execute(); });
}

void PortRun::Join() {
  if (thread_.joinable()) thread_.join();
}

BodyProgress PortRun::Snapshot() const {
  BodyProgress progress{percent_.load(std::memory_order_relaxed), bytes_.load(std::memory_order_relaxed), total_};
  auto now = Now();
  auto start = bodyStart_.load(std::memory_order_relaxed);
  auto end = bodyEnd_.load(std::memory_order_relaxed);
  if (start != 0) progress.elapsed = SteadyTime::duration((end != 0 ? end : now) - start);
  auto awaiting = awaitingSince_.load(std::memory_order_relaxed);
  if (awaiting != 0 && !Finished()) progress.awaiting = SteadyTime::duration(now - awaiting);
  return progress;
}

void PortRun::Execute() {
  result_.outcome = Upload();
  result_.bytes = bytes_.load(std::memory_order_relaxed);
  result_.seconds = SteadyTime::now() - startedAt_;
  finished_.store(true, std::memory_order_release);
}

std::optional<Outcome> PortRun::Upload() {
  if (StopRequested()) return std::nullopt;
  if (!firmware_.Read()) {
    result_.reason = firmware_.problem;
    return Outcome::kFirmwareMissing;
  }
  LineOpening opening = OpenLine(port_);
  if (!opening.line) {
    result_.reason = std::move(opening.reason);
    return Outcome::kPortUnavailable;
  }
  FirmwareBytes firmware(firmware_.Bytes());
  std::unique_ptr<Clock> clock = MakeRunClock();
  return UploadRun(*opening.line, firmware, *clock, *this).Run();
}

bool PortRun::StopRequested() { return interrupted_.load(std::memory_order_relaxed); }

void PortRun::AwaitingAnswer() { awaitingSince_.store(Now(), std::memory_order_relaxed); }

void PortRun::Progress(std::int64_t percent, std::int64_t bodyBytes) {
  awaitingSince_.store(0, std::memory_order_relaxed);
  if (bodyBytes == 1) bodyStart_.store(Now(), std::memory_order_relaxed);
  if (bodyBytes == total_) bodyEnd_.store(Now(), std::memory_order_relaxed);
  bytes_.store(bodyBytes, std::memory_order_relaxed);
  if (percent == percent_.load(std::memory_order_relaxed)) return;
  percent_.store(percent, std::memory_order_relaxed);
  std::size_t count = published_.load(std::memory_order_relaxed);
  if (count == steps_.size()) return;
  steps_[count] = {percent, bodyBytes};
  published_.store(count + 1, std::memory_order_release);
}

}  // namespace fwu::cli
