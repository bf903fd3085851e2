#include "tests/support/Wait.h"
#include "tests/unit/window/WindowTestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

using std::chrono::steady_clock;

TEST(NextEvent, PlatformMessagesAreDispatchedAndGiveTheirIdentifier) {
  TestWindow window;
  DrainEvents();
  PostMessageW(window.handle(), WM_USER + 7, 0, 0);
  EXPECT_EQ(NextEvent(0), WM_USER + 7);
  PostMessageW(window.handle(), WM_USER + 8, 0, 0);
  EXPECT_EQ(NextEvent(-1), WM_USER + 8);
  PostMessageW(window.handle(), WM_USER + 9, 0, 0);
  EXPECT_EQ(NextEvent(1000), WM_USER + 9);
  PostQuitMessage(0);
  EXPECT_EQ(NextEvent(-1), WM_QUIT) << "a quit message means nothing special";

  // Queued events come before any further message.
  PostMessageW(window.handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(NextEvent(0), WM_CLOSE);
  PostMessageW(window.handle(), WM_USER + 10, 0, 0);
  EXPECT_EQ(NextEvent(0), kCloseEvent);
  EXPECT_EQ(NextEvent(0), WM_USER + 10);
}

TEST(NextEvent, ATimedWaitWithNothingToDoGivesZero) {
  TestWindow window;
  DrainEvents();
  EXPECT_TRUE(WaitUntil([] { return NextEvent(20) == 0; }));
  EXPECT_EQ(CurrentEventType(), -1);
}

// Another thread's calls on the window complete while the window's thread
// waits in NextEvent, and what they queue comes out at once.
TEST(NextEvent, WaitingServesCallsFromOtherThreads) {
  TestWindow window;
  HWND handle = window.handle();
  HWND edit = window.AddChild(L"Edit", 12, 0);
  DrainEvents();

  std::atomic<int> served{0};
  std::atomic<bool> done{false};
  constexpr int kCalls = 20;
  std::thread caller([&] {
    for (int i = 0; i < kCalls; ++i) {
      std::wstring text = L"text " + std::to_wstring(i);
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000,
                              &result))
        ++served;
    }
    SendMessageTimeoutW(handle, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
    done = true;
  });

  constexpr int kLongWait = 30000;
  auto start = steady_clock::now();
  int closes = 0;
  while (closes == 0 && steady_clock::now() - start < std::chrono::seconds(60)) {
    int code = NextEvent(kLongWait);
    if (code == kCloseEvent) ++closes;
    if (code == kControlEvent) {
      EXPECT_EQ(CurrentEventObject(), 12);
    }
  }
  auto waited = steady_clock::now() - start;
  caller.join();

  EXPECT_EQ(served, kCalls);
  EXPECT_EQ(closes, 1);
  EXPECT_LT(waited, std::chrono::milliseconds(kLongWait)) << "no wait ran to its time-out";
  wchar_t text[32] = {};
  GetWindowTextW(edit, text, 32);
  EXPECT_STREQ(text, L"text 19");
}

}  // namespace
