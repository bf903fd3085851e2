// A scripted line and a simulated clock for the upload engine: the device at
// the other end answers after it has received given byte counts, and every
// wait, every line call and every byte in flight costs simulated time only.
#pragma once

#include "protocol/UploadEngine.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace fwu::testing {

using Time = std::chrono::steady_clock::duration;

// Delays take their time; pauses between polls take theirs when `sleeps`
// (fwupload's clocks), none otherwise (the window's). Either wait ends
// `wakeLatency` late, as a sleeping thread does.
class SimulatedClock : public Clock {
 public:
  void Delay(std::chrono::milliseconds duration) override { Wait(duration); }
  std::chrono::steady_clock::duration Now() override { return now; }
  void PauseBetweenPolls(std::chrono::nanoseconds duration) override {
    pauses.push_back(duration);
    if (sleeps) Wait(duration);
  }

  Time now{};
  bool sleeps = true;
  std::chrono::nanoseconds wakeLatency{};
  // When each wait began; each pause's length.
  std::vector<Time> waits;
  std::vector<std::chrono::nanoseconds> pauses;

 private:
  void Wait(std::chrono::nanoseconds duration) {
    waits.push_back(now);
    now += duration + wakeLatency;
  }
};

enum LineCall { kWrite, kOutputPending, kInputPending, kRead };

// The device's answer once it has received `after` bytes, `delay` later.
struct Answer {
  std::size_t after;
  std::vector<std::uint8_t> bytes;
  std::chrono::milliseconds delay{10};
};

class ScriptedLine : public SerialLine {
 public:
  explicit ScriptedLine(SimulatedClock& clock) : clock_(&clock) {}

  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;

  // What the device sent before the run.
  std::deque<std::uint8_t> input;
  std::vector<Answer> answers;
  // The most a write takes; a callback may override it per write (by index).
  std::function<std::int64_t(std::size_t writeIndex, std::size_t offered)> take;
  // Polls each written byte stays pending in the driver.
  int pendingPolls = 0;
  // A write stays pending this long (a USB transfer).
  std::chrono::nanoseconds inFlight{};
  // What each line call costs.
  std::chrono::nanoseconds callCost{};
  // When set, the output count reported instead of the true one.
  std::function<std::int64_t()> reportedOutput;
  // Bytes that arrive at a given time, as if sent by the device then.
  std::vector<std::pair<Time, std::vector<std::uint8_t>>> arrivals;
  // Read number `failingRead` (0-based) delivers nothing.
  int failingRead = -1;
  // From its call number failFrom[c] (0-based) on, call c reports a failed line.
  std::array<int, 4> failFrom{-1, -1, -1, -1};

  // What the device saw.
  std::vector<std::uint8_t> received;
  std::vector<std::size_t> writeSizes;
  // Writes made while the driver still reported output pending.
  int writesWhilePending = 0;
  std::vector<std::size_t> readSizes;
  // When each write was made.
  std::vector<Time> writeTimes;
  // When a call first reported the line failed.
  std::optional<Time> failedAt;
  int callsAfterFailure = 0;
  int Calls(LineCall call) const { return calls_[call]; }

 private:
  // Counts and costs a call; true when it is to fail.
  bool Call(LineCall call);
  void Deliver();
  SimulatedClock* clock_;
  int pendingLeft_ = 0;
  int reads_ = 0;
  std::array<int, 4> calls_{};
  // Bytes of the latest write and when the line counts them sent.
  std::int64_t inFlightBytes_ = 0;
  Time sentAt_{};
  // When each answer is due, once its count has been reached.
  std::vector<std::optional<std::chrono::steady_clock::duration>> due_;
};

// Records progress and asks for a stop once `stopAfterProgress` reports have
// come (never when negative), or once `stopWhen` says so.
class RecordingObserver : public RunObserver {
 public:
  void Progress(std::int64_t percent, std::int64_t bodyBytes) override {
    percents.push_back(percent);
    lastBodyBytes = bodyBytes;
  }
  bool StopRequested() override {
    return (stopAfterProgress >= 0 && static_cast<int>(percents.size()) >= stopAfterProgress) ||
           (stopWhen && stopWhen());
  }
  std::vector<std::int64_t> percents;
  std::int64_t lastBodyBytes = 0;
  int stopAfterProgress = -1;
  std::function<bool()> stopWhen;
};

class MemoryFirmware : public FirmwareSource {
 public:
  explicit MemoryFirmware(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint8_t NextByte() override { return next_ < bytes_.size() ? bytes_[next_++] : 0; }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t next_ = 0;
};

}  // namespace fwu::testing
