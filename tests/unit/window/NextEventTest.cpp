#include "tests/support/Wait.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

TEST(NextEvent, GivesQueuedEventsFirstThenPlatformMessagesInEveryMode) {
  TestWindow window;
  HWND handle = window.handle();
  DrainEvents();
  PostMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_EQ(NextEvent(0), WM_CLOSE);
  PostMessageW(handle, WM_USER + 1, 0, 0);
  EXPECT_EQ(NextEvent(-1), kCloseEvent);
  EXPECT_EQ(NextEvent(-1), WM_USER + 1);
  PostMessageW(handle, WM_USER + 2, 0, 0);
  EXPECT_EQ(NextEvent(1000), WM_USER + 2);
  PostQuitMessage(0);
  EXPECT_EQ(NextEvent(-1), WM_QUIT) << "a quit message means nothing special";
  EXPECT_TRUE(WaitUntil([] { return NextEvent(20) == 0; }));
}

// Another thread's calls complete while the window's thread waits in
// NextEvent, and an event one of them queues ends the wait.
TEST(NextEvent, WaitingServesCallsFromOtherThreads) {
  TestWindow window;
  HWND handle = window.handle();
  HWND edit = window.AddChild(L"Edit", 12, 0);
  DrainEvents();
  constexpr int kCalls = 20;
  std::atomic<int> served{0};
  std::thread caller([&] {
    for (int i = 0; i < kCalls; ++i) {
      std::wstring text = L"text " + std::to_wstring(i);
      if (SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000,
                              nullptr))
        ++served;
    }
    SendMessageTimeoutW(handle, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
  });

  constexpr int kLongWait = 30000;
  auto start = std::chrono::steady_clock::now();
  while (NextEvent(kLongWait) != kCloseEvent && std::chrono::steady_clock::now() - start < std::chrono::minutes(1)) {
  }
  auto waited = std::chrono::steady_clock::now() - start;
  caller.join();
  EXPECT_EQ(served, kCalls);
  EXPECT_EQ(CurrentEventObject(), window.number());
  EXPECT_LT(waited, std::chrono::milliseconds(kLongWait)) << "no wait ran to its time-out";
}

}  // namespace
