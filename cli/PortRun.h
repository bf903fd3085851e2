// One port's upload: open the port, run the engine, close the port. It runs on
// a thread of its own (Start), or on the caller's (RunHere).
//
// Threads: the run's thread writes percent_, bytes_, bodyStart_ and bodyEnd_
// (read by the main thread at any time, hence atomic) and result_, which the
// main thread reads only once finished_ is set (release/acquire). port_,
// total_, firmware_ and startedAt_ do not change once the thread has started.
// tick_, nextTick_ and steps_ belong to the thread that called RunHere.
#pragma once

#include "cli/ProgressText.h"
#include "protocol/UploadEngine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace fwu::cli {

// Hears each new percentage of a run, on the run's thread.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Progress(std::size_t portIndex, const BodyProgress& progress) = 0;
};

struct RunResult {
  std::optional<Outcome> outcome;  // none when the run was stopped
  std::string reason;              // why it failed, where that is known
  std::int64_t bytes = 0;          // body bytes the line took
  std::chrono::duration<double> seconds{};
};

class PortRun : private RunObserver {
 public:
  // `firmware` is none when the file could not be read: the run ends at once
  // with kFirmwareMissing and no port is opened.
  PortRun(std::size_t index, std::string port, const std::optional<std::vector<std::uint8_t>>& firmware,
          ProgressSink& sink, const std::atomic<bool>& interrupted);
  ~PortRun();
  PortRun(const PortRun&) = delete;
  PortRun& operator=(const PortRun&) = delete;

  void Start();
  void Join();
  // The whole run on this thread, calling `tick` between its steps, once an
  // `interval` at most (in a reply wait, a step comes every millisecond).
  void RunHere(std::function<void()> tick, std::chrono::milliseconds interval);
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  const std::string& Port() const { return port_; }
  BodyProgress Snapshot() const;
  // Once Finished.
  const RunResult& Result() const { return result_; }

 private:
  void Execute();
  std::optional<Outcome> Upload();
  void Progress(std::int64_t percent, std::int64_t bodyBytes) override;
  bool StopRequested() override;

  std::size_t index_;
  std::string port_;
  const std::optional<std::vector<std::uint8_t>>& firmware_;
  std::int64_t total_ = 0;
  ProgressSink& sink_;
  const std::atomic<bool>& interrupted_;
  std::chrono::steady_clock::time_point startedAt_{};
  std::atomic<std::int64_t> percent_{-1};
  std::atomic<std::int64_t> bytes_{0};
  // Steady clock ticks at the body's first and last byte; 0 until then.
  std::atomic<std::chrono::steady_clock::rep> bodyStart_{0};
  std::atomic<std::chrono::steady_clock::rep> bodyEnd_{0};
  RunResult result_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
  std::function<void()> tick_;
  std::chrono::milliseconds tickInterval_{};
  std::chrono::steady_clock::time_point nextTick_{};
  unsigned steps_ = 0;
};

}  // namespace fwu::cli
