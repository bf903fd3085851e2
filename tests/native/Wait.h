// Waiting on a condition with a bounded time-out, instead of sleeping and
// hoping (native tests and benchmarks).
#pragma once

#include <chrono>
#include <thread>

// Polls `condition` every millisecond until it holds or `timeout` has passed.
// Returns the last result.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
