// Paces the device's reads like a real line at a given baud rate (8N1: ten
// bit times a byte). A byte that finds the line idle starts when it is first
// seen; bytes queued behind it follow one byte time apart.
#pragma once

#include <chrono>
#include <cstddef>

class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  // 0 baud: no pacing.
  explicit Pacer(long baud)
      : byteTime_(baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0)) {}

  bool Active() const { return byteTime_.count() > 0; }
  // How many of the waiting bytes the line has delivered by `now`.
  std::size_t Allowance(Clock::time_point now) {
    if (!busy_) {
      busy_ = true;
      lineFree_ = now;
    }
    return static_cast<std::size_t>((now - lineFree_) / byteTime_);
  }
  void Consumed(std::size_t count) { lineFree_ += byteTime_ * static_cast<long long>(count); }
  // Nothing is waiting: the next byte starts on its own.
  void Idle() { busy_ = false; }
  // Whether bytes are waiting for their time on the line.
  bool Waiting(Clock::time_point now) const { return Active() && busy_ && now < NextByteAt(); }
  Clock::time_point NextByteAt() const { return lineFree_ + byteTime_; }

 private:
  std::chrono::nanoseconds byteTime_;
  bool busy_ = false;
  Clock::time_point lineFree_{};
};
