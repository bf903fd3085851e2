// One port's upload on a thread of its own: open the port, run the engine,
// close the port. A run never writes output: it publishes where it stands,
// and the main thread shows it when it can, so a reader that is slow or
// stopped never holds up a line.
//
// Threads: the run's thread writes percent_, bytes_, bodyStart_, bodyEnd_,
// awaitingSince_ and steps_, which the main thread reads at any time: the
// first five are atomic, and an entry of steps_ is written before the count
// that covers it, published_, is stored (release/acquire). The run's thread
// writes result_, which the main thread reads only once finished_ is set
// (release/acquire). Everything else is set before the thread starts (Start
// notes the time and describes the port on the caller's thread).
#pragma once

#include "cli/Firmware.h"
#include "cli/Platform.h"
#include "cli/ProgressText.h"
#include "protocol/UploadEngine.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace fwu::cli {

// A percentage the body reached, and the body bytes taken then.
struct BodyStep {
  std::int64_t percent = 0;
  std::int64_t bytes = 0;
};

struct RunResult {
  std::optional<Outcome> outcome;  // none when the run was stopped
  std::string reason;              // why it failed, where that is known
  std::int64_t bytes = 0;          // body bytes the line took
  std::chrono::duration<double> seconds{};
};

class PortRun : private RunObserver {
 public:
  // A `firmware` that could not be read ends the run at once with
  // kFirmwareMissing, and no port is opened; so does an interrupt, with no
  // outcome.
  PortRun(std::string port, const FirmwareFile& firmware, const std::atomic<bool>& interrupted);
  ~PortRun();
  PortRun(const PortRun&) = delete;
  PortRun& operator=(const PortRun&) = delete;

  void Start();
  void Join();
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  const std::string& Port() const { return port_; }
  std::int64_t Total() const { return total_; }
  // Once started: when, and what the system knew of the port then.
  std::chrono::system_clock::time_point StartedAt() const { return startedAtUtc_; }
  const PortInfo& Described() const { return described_; }
  BodyProgress Snapshot() const;
  // Every new percentage so far, in order.
  std::span<const BodyStep> Steps() const { return {steps_.data(), published_.load(std::memory_order_acquire)}; }
  // Once Finished.
  const RunResult& Result() const { return result_; }

 private:
  void Execute();
  std::optional<Outcome> Upload();
  void Progress(std::int64_t percent, std::int64_t bodyBytes) override;
  void AwaitingAnswer() override;
  bool StopRequested() override;

  std::string port_;
  const FirmwareFile& firmware_;
  std::int64_t total_ = 0;
  const std::atomic<bool>& interrupted_;
  std::chrono::steady_clock::time_point startedAt_{};
  std::chrono::system_clock::time_point startedAtUtc_{};
  PortInfo described_;
  std::atomic<std::int64_t> percent_{-1};
  std::atomic<std::int64_t> bytes_{0};
  // Steady clock ticks at the body's first and last byte, and since a reply
  // wait began; 0 until then (and, for the wait, once it has ended).
  std::atomic<std::chrono::steady_clock::rep> bodyStart_{0};
  std::atomic<std::chrono::steady_clock::rep> bodyEnd_{0};
  std::atomic<std::chrono::steady_clock::rep> awaitingSince_{0};
  // Percentages only grow, 0 to 100: each has a place.
  std::array<BodyStep, 101> steps_{};
  std::atomic<std::size_t> published_{0};
  RunResult result_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace fwu::cli
