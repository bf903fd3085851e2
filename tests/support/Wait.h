// Waiting on a condition with a bounded time-out, instead of sleeping and
// hoping.
#pragma once

#include <windows.h>

#include <chrono>

// Polls `condition` every millisecond, serving the calling thread's messages
// meanwhile, until it holds or `timeout` has passed. Returns the last result.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}
