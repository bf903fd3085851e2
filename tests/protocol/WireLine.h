// A line with a real output queue, on the simulated clock: the driver holds
// up to `capacity` bytes; a write's bytes leave the driver (stop counting as
// pending) no sooner than `inFlight` after the write (a USB transfer; a UART's
// byte time) and no sooner than a wire byte time after the byte before; each
// reaches the device as it leaves. The device answers once a given count of
// bytes has reached it.
#pragma once

#include "tests/protocol/ScriptedDevice.h"

#include <deque>

namespace fwu::testing {

class WireLine : public SerialLine {
 public:
  explicit WireLine(SimulatedClock& clock) : clock_(&clock) {}

  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;
  void DiscardOutput() override;

  std::int64_t capacity = 4096;
  std::chrono::nanoseconds inFlight{1'000'000};
  std::chrono::nanoseconds callCost{1'000};
  std::vector<Answer> answers;
  // The most a write takes of what it is offered; all when not set.
  std::function<std::int64_t(std::size_t offered)> take;
  // When set, the output count reported, given the true one.
  std::function<std::int64_t(std::int64_t pending)> reportedOutput;
  // Once this many bytes have reached the device, no more leave the driver.
  std::optional<std::size_t> haltAfter;
  // From this write (0-based) on, every call reports a failed line.
  int failFromWrite = -1;

  // The bytes the driver took, header included.
  std::int64_t written = 0;
  // The bytes the device received, and when each arrived.
  std::vector<std::uint8_t> received;
  std::vector<Time> arrivals;
  std::vector<Time> writeTimes;
  // When the input count was first asked for after the last write.
  std::optional<Time> firstInputPollAfterWrites;
  // The most the driver held after a write.
  std::int64_t mostPending = 0;
  std::optional<Time> failedAt;
  int callsAfterFailure = 0;
  int discards = 0;

 private:
  // Costs a call; true when the line has failed.
  bool Call();
  // Moves the bytes whose time has come from the driver to the device.
  void Advance();
  SimulatedClock* clock_;
  // Bytes in the driver, with when each leaves it.
  std::deque<std::pair<std::uint8_t, Time>> queued_;
  Time lastLeaves_{};
  std::deque<std::uint8_t> input_;
  std::size_t nextAnswer_ = 0;
};

}  // namespace fwu::testing
