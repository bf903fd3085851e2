#include "runtime/window/WindowInternal.h"
#include "tests/support/FailingAllocations.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

namespace {

constexpr WPARAM kTab = MAKEWPARAM(64001, 1);
constexpr WPARAM kShiftTab = MAKEWPARAM(64002, 1);

// Four buttons, the second disabled, and a static that is no tab stop.
struct TabWindow {
  TestWindow window;
  HWND first = window.AddChild(L"Button", 1);
  HWND disabled = window.AddChild(L"Button", 2, WS_TABSTOP | WS_DISABLED);
  HWND label = window.AddChild(L"STATIC", 3, 0);
  HWND third = window.AddChild(L"Button", 4);
  HWND last = window.AddChild(L"Button", 5);

  HWND Step(WPARAM command) {
    SendMessageW(window.handle(), WM_COMMAND, command, 0);
    return GetFocus();
  }
};

TEST(FocusNavigation, TabAndShiftTabStepOverEnabledVisibleTabStopsAndWrap) {
  TabWindow w;
  ASSERT_EQ(GetActiveWindow(), w.window.handle());
  SetFocus(w.window.handle());
  EXPECT_EQ(w.Step(kTab), w.first) << "with no focused child the first tab stop";
  EXPECT_EQ(w.Step(kTab), w.third);
  EXPECT_EQ(w.Step(kTab), w.last);
  EXPECT_EQ(w.Step(kTab), w.first);
  EXPECT_EQ(w.Step(kShiftTab), w.last);
  EXPECT_EQ(w.Step(kShiftTab), w.third);
  SetFocus(w.label);
  EXPECT_EQ(w.Step(kTab), w.third) << "from a child that is no tab stop";
  ShowWindow(w.third, SW_HIDE);
  SetFocus(w.window.handle());
  EXPECT_EQ(w.Step(kShiftTab), w.last) << "with no focused child the last tab stop";
  EXPECT_EQ(w.Step(kShiftTab), w.first) << "a hidden window is no tab stop";
}

// The list of tab stops is made inside the platform's enumeration, which no
// exception may cross: without memory Tab leaves the focus where it is.
// Called straight: the platform's message dispatch may swallow a throw.
TEST(FocusNavigation, WithoutMemoryTabLeavesTheFocusAlone) {
  TabWindow w;
  SetFocus(w.first);
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(FocusNext(true));
  }
  EXPECT_EQ(GetFocus(), w.first);
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
