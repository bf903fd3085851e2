// A helper thread of a test that can never hang the test: it is joined with a
// bounded wait that serves the joining thread's messages meanwhile (a helper
// may be waiting on a call to a window of that thread). A helper that has not
// ended by then fails the test and ends the test program at once, since no
// thread can be stopped safely from outside; ctest runs each test on its own,
// so no other test's result is lost.
#pragma once

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

class TestThread {
 public:
  template <class Body>
  explicit TestThread(Body body)
      : thread_([this, body = std::move(body)]() mutable {
          body();
          ended_ = true;
        }) {}
  ~TestThread() { Join([] {}); }
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  bool Ended() const { return ended_; }

  // Waits for the thread to end, calling `nudge` (which may close what it
  // waits on) at every look.
  template <class Nudge>
  void Join(Nudge nudge, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    if (!thread_.joinable()) return;
    if (!WaitUntil([&] { return ended_ || (nudge(), false); }, timeout)) {
      ADD_FAILURE() << "a helper thread of the test did not end within " << timeout.count() << " ms";
      std::fflush(stdout);
      std::_Exit(3);
    }
    thread_.join();
  }
  void Join() { Join([] {}); }

 private:
  std::atomic<bool> ended_{false};
  std::thread thread_;
};
