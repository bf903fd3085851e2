#include "tests/protocol/WireLine.h"

#include <algorithm>

namespace fwu::testing {

bool WireLine::Call() {
  clock_->now += callCost;
  Advance();
  if (failedAt) ++callsAfterFailure;
  bool fails = failFromWrite >= 0 && static_cast<int>(writeTimes.size()) >= failFromWrite;
  if (fails && !failedAt) failedAt = clock_->now;
  return fails;
}

void WireLine::Advance() {
  while (!queued_.empty() && queued_.front().second <= clock_->now && received.size() != haltAfter) {
    received.push_back(queued_.front().first);
    arrivals.push_back(queued_.front().second);
    queued_.pop_front();
  }
}

std::int64_t WireLine::Write(std::span<const std::uint8_t> bytes) {
  if (Call()) return -1;
  auto room = static_cast<std::size_t>(std::max<std::int64_t>(capacity - std::ssize(queued_), 0));
  std::size_t count = std::min(bytes.size(), room);
  if (take) count = std::min(count, static_cast<std::size_t>(std::max<std::int64_t>(take(bytes.size()), 0)));
  writeTimes.push_back(clock_->now);
  firstInputPollAfterWrites.reset();
  for (std::size_t i = 0; i < count; ++i) {
    lastLeaves_ = std::max(clock_->now + inFlight, lastLeaves_ + kByteTime);
    queued_.emplace_back(bytes[i], lastLeaves_);
  }
  written += static_cast<std::int64_t>(count);
  mostPending = std::max<std::int64_t>(mostPending, std::ssize(queued_));
  return static_cast<std::int64_t>(count);
}

std::int64_t WireLine::OutputPending() {
  if (Call()) return -1;
  auto pending = std::ssize(queued_);
  return reportedOutput ? reportedOutput(pending) : pending;
}

std::int64_t WireLine::InputPending() {
  if (Call()) return -1;
  if (!firstInputPollAfterWrites) firstInputPollAfterWrites = clock_->now;
  // Each answer once the one before has been read.
  if (input_.empty() && nextAnswer_ < answers.size()) {
    const Answer& answer = answers[nextAnswer_];
    if (received.size() >= answer.after && arrivals[answer.after - 1] + answer.delay <= clock_->now) {
      input_.assign(answer.bytes.begin(), answer.bytes.end());
      ++nextAnswer_;
    }
  }
  return std::ssize(input_);
}

std::int64_t WireLine::Read(std::span<std::uint8_t> into) {
  if (Call()) return -1;
  std::size_t count = std::min(into.size(), input_.size());
  std::copy_n(input_.begin(), count, into.begin());
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
  return static_cast<std::int64_t>(count);
}

void WireLine::DiscardOutput() {
  Advance();
  ++discards;
  queued_.clear();
}

}  // namespace fwu::testing
