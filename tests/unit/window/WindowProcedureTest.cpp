#include "tests/support/Wait.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowProcedure, CloseRequestsAndCommandsBecomeEvents) {
  TestWindow window;
  HWND handle = window.handle();
  HWND button = window.AddChild(L"Button", 7);
  DrainEvents();
  SendMessageW(handle, WM_CLOSE, 0, 0);
  SendMessageW(handle, WM_CLOSE, 0, 0);
  SendMessageW(button, BM_CLICK, 0, 0);
  SendMessageW(handle, WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), reinterpret_cast<LPARAM>(button));
  SendMessageW(handle, WM_COMMAND, 5, 0);                  // a menu item
  SendMessageW(handle, WM_COMMAND, MAKEWPARAM(300, 1), 0);  // an accelerator
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(CodesOf(taken), (std::vector<int>{kCloseEvent, kControlEvent, kControlEvent, kMenuEvent, kMenuEvent}));
  EXPECT_EQ(taken[0].object, window.number());
  EXPECT_EQ(taken[1].object, 7);
  EXPECT_EQ(taken[1].type, BN_CLICKED);
  EXPECT_EQ(taken[1].window, window.number());
  EXPECT_EQ(taken[2].type, EN_CHANGE);
  EXPECT_EQ(taken[3].object, 5);
  EXPECT_EQ(taken[4].object, 300);
  EXPECT_TRUE(IsWindow(handle)) << "a close request leaves the window to the program";
}

TEST(WindowProcedure, MovesAndSizesMakeEventsOnlyOnceTheWindowIsReady) {
  TestWindow window;
  HWND handle = window.handle();
  EXPECT_EQ(CodesOf(DrainEvents(), kRepaintEvent), (std::vector<int>{kActivatedEvent}));
  SetWindowPos(handle, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(handle, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(handle, nullptr, 0, 0, 320, 160, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(CodesOf(DrainEvents(), kRepaintEvent), (std::vector<int>{kMovedEvent, kSizedEvent}))
      << "a new size drops the sized event still waiting";

  for (WPARAM kind : {SIZE_MAXIMIZED, SIZE_RESTORED, SIZE_RESTORED, SIZE_MINIMIZED, SIZE_RESTORED})
    SendMessageW(handle, WM_SIZE, kind, 0);
  EXPECT_EQ(CodesOf(DrainEvents()),
            (std::vector<int>{kMaximizedEvent, kRestoredEvent, kMinimizedEvent, kRestoredEvent, kSizedEvent}));
}

TEST(WindowProcedure, TimersBecomeEvents) {
  TestWindow window;
  ASSERT_NE(SetTimer(window.handle(), 9, 10, nullptr), 0u);
  EXPECT_TRUE(WaitUntil([] { return NextEvent(0) == kTimerEvent && CurrentEventObject() == 9; }));
  KillTimer(window.handle(), 9);
}

TEST(WindowProcedure, ActivationRestoresTheFocusKeptAtDeactivation) {
  TestWindow window;
  HWND first = window.AddChild(L"Button", 1);
  HWND second = window.AddChild(L"Button", 2);
  SetFocus(second);
  SendMessageW(window.handle(), WM_ACTIVATE, WA_INACTIVE, 0);
  SetFocus(first);
  SendMessageW(window.handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), second);
}

TEST(WindowProcedure, ClosingAWindowDropsItsWaitingEventsOnly) {
  std::int64_t window = WindowOpen(-1, 0, 0, 50, 50, nullptr, kWindowHidden, nullptr);
  DrainEvents();
  EventPush(kControlEvent, 1, window, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 1, window + 1, 0, 0, nullptr, 0);
  EventPush(kCloseEvent, window, window, 0, 0, nullptr, 0);
  WindowClose(window);
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].window, window + 1);
}

}  // namespace
