// A scripted line and a simulated clock for the upload engine: the device at
// the other end answers after it has received given byte counts, and every
// wait costs simulated time only.
#pragma once

#include "protocol/UploadEngine.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace fwu::testing {

class SimulatedClock : public Clock {
 public:
  void Delay(std::chrono::milliseconds duration) override { now += duration; }
  std::chrono::steady_clock::duration Now() override { return now; }
  std::chrono::steady_clock::duration now{};
};

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
  // Read number `failingRead` (0-based) delivers nothing.
  int failingRead = -1;

  // What the device saw.
  std::vector<std::uint8_t> received;
  std::vector<std::size_t> writeSizes;
  // Writes made while the driver still reported output pending.
  int writesWhilePending = 0;
  std::vector<std::size_t> readSizes;

 private:
  void Deliver();
  SimulatedClock* clock_;
  int pendingLeft_ = 0;
  int reads_ = 0;
  // When each answer is due, once its count has been reached.
  std::vector<std::optional<std::chrono::steady_clock::duration>> due_;
};

// Records progress and asks for a stop once `stopAfterProgress` reports have
// come (never when negative).
class RecordingObserver : public RunObserver {
 public:
  void Progress(std::int64_t percent, std::int64_t bodyBytes) override {
    percents.push_back(percent);
    lastBodyBytes = bodyBytes;
  }
  bool StopRequested() override {
    return stopAfterProgress >= 0 && static_cast<int>(percents.size()) >= stopAfterProgress;
  }
  std::vector<std::int64_t> percents;
  std::int64_t lastBodyBytes = 0;
  int stopAfterProgress = -1;
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
