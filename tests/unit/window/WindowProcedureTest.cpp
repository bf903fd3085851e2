#include "tests/support/Wait.h"
#include "tests/unit/window/WindowTestWindow.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowProcedure, CloseRequestQueuesOneCloseEventAndLeavesTheWindowOpen) {
  TestWindow window;
  DrainEvents();
  SendMessageW(window.handle(), WM_CLOSE, 0, 0);
  SendMessageW(window.handle(), WM_CLOSE, 0, 0);
  std::vector<TakenEvent> taken = DrainLayerEvents();
  ASSERT_EQ(CountOf(taken, kCloseEvent), 1);
  EXPECT_EQ(taken.back().object, window.number());
  EXPECT_EQ(taken.back().window, window.number());
  EXPECT_TRUE(IsWindow(window.handle()));
}

TEST(WindowProcedure, CommandsBecomeControlAndMenuEvents) {
  TestWindow window;
  HWND button = window.AddChild(L"Button", 77);
  DrainEvents();

  SendMessageW(button, BM_CLICK, 0, 0);
  SendMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(77, EN_CHANGE), reinterpret_cast<LPARAM>(button));
  SendMessageW(window.handle(), WM_COMMAND, 5, 0);             // a menu item
  SendMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(300, 1), 0);  // an accelerator
  std::vector<TakenEvent> taken = DrainLayerEvents();
  ASSERT_EQ(taken.size(), 4u);
  EXPECT_EQ(taken[0].code, kControlEvent);
  EXPECT_EQ(taken[0].object, 77);
  EXPECT_EQ(taken[0].type, BN_CLICKED);
  EXPECT_EQ(taken[0].window, window.number());
  EXPECT_EQ(taken[1].code, kControlEvent);
  EXPECT_EQ(taken[1].type, EN_CHANGE);
  EXPECT_EQ(taken[2].code, kMenuEvent);
  EXPECT_EQ(taken[2].object, 5);
  EXPECT_EQ(taken[3].code, kMenuEvent);
  EXPECT_EQ(taken[3].object, 300);
}

TEST(WindowProcedure, MovesAndSizesMakeEventsOnlyOnceTheWindowIsReady) {
  TestWindow window;
  std::vector<TakenEvent> opening = DrainLayerEvents();
  EXPECT_EQ(CountOf(opening, kMovedEvent), 0);
  EXPECT_EQ(CountOf(opening, kSizedEvent), 0);

  HWND handle = window.handle();
  SetWindowPos(handle, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(handle, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(handle, nullptr, 0, 0, 320, 160, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  std::vector<TakenEvent> taken = DrainLayerEvents();
  std::erase_if(taken, [](const TakenEvent& e) { return e.code == kRepaintEvent; });
  EXPECT_EQ(CountOf(taken, kSizedEvent), 1) << "a new size drops the sized event still waiting";
  ASSERT_EQ(CountOf(taken, kMovedEvent), 1);
  EXPECT_EQ(CodesOf(taken), (std::vector<int>{kMovedEvent, kSizedEvent}));
  EXPECT_EQ(taken[0].object, window.number());

  DrainEvents();
  SendMessageW(handle, WM_SIZE, SIZE_MAXIMIZED, 0);
  SendMessageW(handle, WM_SIZE, SIZE_RESTORED, 0);
  SendMessageW(handle, WM_SIZE, SIZE_RESTORED, 0);
  EXPECT_EQ(CodesOf(DrainLayerEvents()), (std::vector<int>{kMaximizedEvent, kRestoredEvent, kSizedEvent}));
  SendMessageW(handle, WM_SIZE, SIZE_MINIMIZED, 0);
  SendMessageW(handle, WM_SIZE, SIZE_RESTORED, 0);
  EXPECT_EQ(CodesOf(DrainLayerEvents()), (std::vector<int>{kMinimizedEvent, kRestoredEvent, kSizedEvent}));
}

TEST(WindowProcedure, TimersAndClicksBecomeEvents) {
  TestWindow window;
  HWND handle = window.handle();
  DrainEvents();
  SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  SendMessageW(handle, WM_LBUTTONDBLCLK, 0, MAKELPARAM(10, 10));
  SendMessageW(handle, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  EXPECT_EQ(CodesOf(DrainLayerEvents()),
            (std::vector<int>{kLeftClickEvent, kLeftDoubleClickEvent, kRightClickEvent}));

  ASSERT_NE(SetTimer(handle, 9, 10, nullptr), 0u);
  bool timed = WaitUntil([] { return NextEvent(0) == kTimerEvent && CurrentEventObject() == 9; });
  KillTimer(handle, 9);
  EXPECT_TRUE(timed);
}

TEST(WindowProcedure, ActivationRestoresTheFocusKeptAtDeactivation) {
  TestWindow window;
  HWND handle = window.handle();
  HWND first = window.AddChild(L"Button", 1);
  HWND second = window.AddChild(L"Button", 2, WS_TABSTOP, 30);
  SetFocus(second);
  DrainEvents();
  SendMessageW(handle, WM_ACTIVATE, WA_INACTIVE, 0);
  SetFocus(first);
  SendMessageW(handle, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), second);
  std::vector<TakenEvent> taken = DrainLayerEvents();
  EXPECT_EQ(CountOf(taken, kDeactivatedEvent), 1);
  EXPECT_EQ(CountOf(taken, kActivatedEvent), 1);
}

TEST(WindowProcedure, ClosingAWindowDropsItsWaitingEventsOnly) {
  std::int64_t window = WindowOpen(-1, 0, 0, 50, 50, nullptr, kWindowHidden, nullptr);
  std::int64_t other = window + 1000;
  DrainEvents();
  EventPush(kControlEvent, 1, window, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 1, other, 0, 0, nullptr, 0);
  EventPush(kCloseEvent, window, window, 0, 0, nullptr, 0);
  WindowClose(window);
  std::vector<TakenEvent> taken = DrainLayerEvents();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].window, other);
}

TEST(WindowProcedure, CloseAllClosesEveryWindow) {
  std::int64_t a = WindowOpen(-1, 0, 0, 50, 50, nullptr, kWindowHidden, nullptr);
  auto b = reinterpret_cast<HWND>(WindowOpen(2, 0, 0, 50, 50, nullptr, kWindowHidden, nullptr));
  HWND aHandle = WindowHandle(a);
  ASSERT_NE(aHandle, nullptr);
  ASSERT_NE(b, nullptr);
  WindowClose(-1);
  EXPECT_FALSE(IsWindow(aHandle));
  EXPECT_FALSE(IsWindow(b));
  EXPECT_EQ(WindowHandle(a), nullptr);
  EXPECT_EQ(WindowHandle(2), nullptr);
  EXPECT_EQ(CurrentContainerWindow(), nullptr) << "a closed container is forgotten";
  DrainEvents();
}

}  // namespace
