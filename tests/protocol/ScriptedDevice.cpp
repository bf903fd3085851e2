#include "tests/protocol/ScriptedDevice.h"

#include <algorithm>

namespace fwu::testing {

bool ScriptedLine::Call(LineCall call) {
  clock_->now += callCost;
  if (failedAt) ++callsAfterFailure;
  int index = calls_[call]++;
  bool fails = failFrom[call] >= 0 && index >= failFrom[call];
  if (fails && !failedAt) failedAt = clock_->now;
  return fails;
}

std::int64_t ScriptedLine::Write(std::span<const std::uint8_t> bytes) {
  if (Call(kWrite)) return -1;
  if (pendingLeft_ > 0 || (inFlightBytes_ > 0 && clock_->now < sentAt_)) ++writesWhilePending;
  std::size_t index = writeSizes.size();
  std::int64_t taken = take ? take(index, bytes.size()) : static_cast<std::int64_t>(bytes.size());
  taken = std::min<std::int64_t>(taken, static_cast<std::int64_t>(bytes.size()));
  writeSizes.push_back(bytes.size());
  writeTimes.push_back(clock_->now);
  if (taken <= 0) return taken;
  received.insert(received.end(), bytes.begin(), bytes.begin() + taken);
  pendingLeft_ = pendingPolls;
  sentAt_ = clock_->now + inFlight;
  inFlightBytes_ = taken;
  return taken;
}

std::int64_t ScriptedLine::OutputPending() {
  if (Call(kOutputPending)) return -1;
  if (reportedOutput) return reportedOutput();
  if (pendingLeft_ > 0) return pendingLeft_--;
  return clock_->now < sentAt_ ? inFlightBytes_ : 0;
}

// Answers go out in order, each once the one before has been read.
void ScriptedLine::Deliver() {
  for (auto& [at, bytes] : arrivals) {
    if (clock_->now < at) continue;
    input.insert(input.end(), bytes.begin(), bytes.end());
    bytes.clear();
  }
  due_.resize(answers.size());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].bytes.empty()) continue;
    if (!due_[i] && input.empty() && received.size() >= answers[i].after)
      due_[i] = clock_->now + answers[i].delay;
    if (due_[i] && clock_->now >= *due_[i]) {
      input.insert(input.end(), answers[i].bytes.begin(), answers[i].bytes.end());
      answers[i].bytes.clear();
    }
    return;
  }
}

std::int64_t ScriptedLine::InputPending() {
  if (Call(kInputPending)) return -1;
  Deliver();
  return static_cast<std::int64_t>(input.size());
}

std::int64_t ScriptedLine::Read(std::span<std::uint8_t> into) {
  if (Call(kRead)) return -1;
  readSizes.push_back(into.size());
  if (reads_++ == failingRead) return 0;
  std::size_t count = std::min(into.size(), input.size());
  std::copy_n(input.begin(), count, into.begin());
  input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(count));
  return static_cast<std::int64_t>(count);
}

}  // namespace fwu::testing
