#include "tests/unit/window/WindowTestWindow.h"

#include <gtest/gtest.h>

namespace {

constexpr WPARAM kTab = MAKEWPARAM(64001, 1);
constexpr WPARAM kShiftTab = MAKEWPARAM(64002, 1);

// Four buttons, the second disabled, and a static that takes no focus.
struct TabWindow {
  TestWindow window;
  HWND first = window.AddChild(L"Button", 1, WS_TABSTOP, 0);
  HWND disabled = window.AddChild(L"Button", 2, WS_TABSTOP | WS_DISABLED, 30);
  HWND label = window.AddChild(L"STATIC", 3, 0, 60);
  HWND third = window.AddChild(L"Button", 4, WS_TABSTOP, 90);
  HWND last = window.AddChild(L"Button", 5, WS_TABSTOP, 120);

  HWND Step(WPARAM command) {
    SendMessageW(window.handle(), WM_COMMAND, command, 0);
    return GetFocus();
  }
};

TEST(FocusNavigation, TabStepsForwardOverEnabledTabStopsAndWraps) {
  TabWindow w;
  ASSERT_EQ(GetActiveWindow(), w.window.handle());
  SetFocus(w.window.handle());
  EXPECT_EQ(w.Step(kTab), w.first) << "with no focused child the first tab stop";
  EXPECT_EQ(w.Step(kTab), w.third);
  EXPECT_EQ(w.Step(kTab), w.last);
  EXPECT_EQ(w.Step(kTab), w.first);
  SetFocus(w.label);  // focus on a child that is no tab stop
  EXPECT_EQ(w.Step(kTab), w.third);
}

TEST(FocusNavigation, ShiftTabStepsBackwardAndWraps) {
  TabWindow w;
  SetFocus(w.window.handle());
  EXPECT_EQ(w.Step(kShiftTab), w.last) << "with no focused child the last tab stop";
  EXPECT_EQ(w.Step(kShiftTab), w.third);
  EXPECT_EQ(w.Step(kShiftTab), w.first);
  EXPECT_EQ(w.Step(kShiftTab), w.last);
  ShowWindow(w.third, SW_HIDE);
  EXPECT_EQ(w.Step(kShiftTab), w.first) << "a hidden window is no tab stop";
}

TEST(FocusNavigation, TheTabKeyGoesThroughTheWindowsAccelerators) {
  TabWindow w;
  SetFocus(w.first);
  DrainEvents();
  PostMessageW(w.first, WM_KEYDOWN, VK_TAB, 1);
  EXPECT_EQ(NextEvent(0), WM_KEYDOWN);
  EXPECT_EQ(GetFocus(), w.third);
}

}  // namespace
