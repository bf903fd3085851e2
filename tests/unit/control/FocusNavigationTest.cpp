#include "ControlFixture.h"

#include "runtime/base/UniqueHandle.h"

namespace {

// The updater's controls in its order of creation.
class FocusNavigationTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    banner.reset(CreateBitmap(400, 60, 1, 24, nullptr));
    PictureControlCreate(0, 0, 0, 400, 60, banner.get(), 0);
    list = ControlHandle(DropDownListCreate(-1, 10, 70, 70, 20, 0));
    field = ControlHandle(TextFieldCreate(-1, 90, 70, 200, 20, L"trx.fw", 0));
    open = PushButtonCreate(-1, 300, 70, 90, 20, L"Open", 0);
    bar = ControlHandle(ProgressBarCreate(-1, 10, 110, 380, 30, 0, 100, 0));
    update = ControlHandle(PushButtonCreate(-1, 140, 160, 140, 30, L"UPDATE!", 0));
    ASSERT_EQ(GetActiveWindow(), Window());
  }
  void TearDown() override {
    Shift(false);
    ControlTest::TearDown();
  }

  static void Shift(bool down) {
    BYTE keys[256]{};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
  }

  // Tab as the user presses it: the key reaches the focused control's queue
  // and the event loop translates it.
  HWND Tab(bool backward = false) {
    Shift(backward);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    Drain();
    Shift(false);
    return GetFocus();
  }

  UniqueBitmap banner;
  HWND list = nullptr, field = nullptr, bar = nullptr, update = nullptr;
  std::int64_t open = 0;
};

TEST_F(FocusNavigationTest, TabStepsThroughTheInputControlsOnly) {
  SetFocus(list);
  EXPECT_EQ(Tab(), field);
  EXPECT_EQ(Tab(), ControlHandle(open));
  EXPECT_EQ(Tab(), update);
  EXPECT_EQ(Tab(), list);
}

TEST_F(FocusNavigationTest, ShiftTabGoesBack) {
  SetFocus(list);
  EXPECT_EQ(Tab(true), update);
  EXPECT_EQ(Tab(true), ControlHandle(open));
  EXPECT_EQ(Tab(true), field);
  EXPECT_EQ(Tab(true), list);
}

TEST_F(FocusNavigationTest, DisabledControlIsSkipped) {
  ControlDisable(open, 1);
  SetFocus(field);
  EXPECT_EQ(Tab(), update);
  EXPECT_EQ(Tab(true), field);
  ControlDisable(open, 0);
  EXPECT_EQ(Tab(), ControlHandle(open));
}

TEST_F(FocusNavigationTest, BannerAndBarAreNoTabStops) {
  EXPECT_FALSE(GetWindowLongPtrW(ControlHandle(0), GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongPtrW(bar, GWL_STYLE) & WS_TABSTOP);
}

}  // namespace
