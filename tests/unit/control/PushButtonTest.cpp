#include "ControlFixture.h"

namespace {

using PushButtonTest = ControlTest;

TEST_F(PushButtonTest, MouseClickGivesOneLeftClickForItsNumber) {
  std::int64_t button = PushButtonCreate(-1, 10, 10, 90, 20, L"Open", 0);
  ASSERT_NE(button, 0);
  HWND native = ControlHandle(button);
  EXPECT_EQ(ControlGetText(button), L"Open");

  SendMessageW(native, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(native, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{button, kControlLeftClick}}));
}

TEST_F(PushButtonTest, SpaceKeyGivesOneLeftClick) {
  std::int64_t button = PushButtonCreate(-1, 10, 10, 90, 20, L"UPDATE!", 0);
  HWND native = ControlHandle(button);
  SetFocus(native);
  Drain();
  SendMessageW(native, WM_KEYDOWN, VK_SPACE, 0x00390001);
  SendMessageW(native, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
  std::vector<ControlEvent> clicks;
  for (const ControlEvent& e : Drain())
    if (e.type == kControlLeftClick) clicks.push_back(e);
  EXPECT_EQ(clicks, (std::vector<ControlEvent>{{button, kControlLeftClick}}));
}

TEST_F(PushButtonTest, DisableThenEnableLeavesItEnabled) {
  std::int64_t button = PushButtonCreate(-1, 10, 10, 90, 20, L"Open", 0);
  HWND native = ControlHandle(button);
  ControlDisable(button, 1);
  EXPECT_FALSE(IsWindowEnabled(native));
  ControlDisable(button, 1);
  EXPECT_FALSE(IsWindowEnabled(native));

  ControlDisable(button, 0);
  EXPECT_TRUE(IsWindowEnabled(native));
  SendMessageW(native, BM_CLICK, 0, 0);
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{button, kControlLeftClick}}));
}

TEST_F(PushButtonTest, SetStateChecksOnNonZero) {
  std::int64_t box = PushButtonCreate(-1, 10, 10, 90, 20, L"Check", BS_AUTOCHECKBOX);
  ControlSetState(box, 7);
  EXPECT_EQ(SendMessageW(ControlHandle(box), BM_GETCHECK, 0, 0), BST_CHECKED);
  ControlSetState(box, 0);
  EXPECT_EQ(SendMessageW(ControlHandle(box), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

}  // namespace
