#include "tests/support/Wait.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

#include <atomic>
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

// The program's own wait: NextEvent(-1) serves the calls another thread
// makes meanwhile, and the event that one of them queues ends the wait,
// though no message is posted to the thread.
TEST(NextEvent, WaitingServesCallsFromOtherThreadsAndTheirEventEndsTheWait) {
  TestWindow window;
  HWND handle = window.handle();
  HWND edit = window.AddChild(L"Edit", 12, 0);
  DrainEvents();
  constexpr int kCalls = 20;
  constexpr UINT kGiveUp = WM_USER + 7;
  std::atomic<int> served{0};
  std::atomic<bool> closed{false};
  std::thread caller([&] {
    for (int i = 0; i < kCalls; ++i)
      if (SendMessageTimeoutW(edit, EM_SETLIMITTEXT, 100 + i, 0, SMTO_NORMAL, 5000, nullptr)) ++served;
    SendMessageTimeoutW(handle, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
    // A wait the close event did not end would never end: end it, failing.
    if (!WaitUntil([&] { return closed.load(); })) PostMessageW(handle, kGiveUp, 0, 0);
  });

  int code = 0;
  while (code != kCloseEvent && code != static_cast<int>(kGiveUp)) code = NextEvent(-1);
  closed = true;
  caller.join();
  EXPECT_EQ(served, kCalls);
  EXPECT_EQ(code, kCloseEvent);
  EXPECT_EQ(CurrentEventObject(), window.number());
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 100 + kCalls - 1);
}

}  // namespace
