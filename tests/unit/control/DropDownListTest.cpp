#include "ControlFixture.h"

#include <string>

namespace {

using DropDownListTest = ControlTest;

std::vector<std::wstring> Items(HWND list) {
  std::vector<std::wstring> items;
  auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64]{};
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    items.emplace_back(text);
  }
  return items;
}

// Selects as the list does for a user's pick: the selection moves and the
// parent hears CBN_SELCHANGE.
void Pick(HWND list, int index) {
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
}

TEST_F(DropDownListTest, ClosedBoxIsExactlyTheHeightAsked) {
  for (int height : {20, 26}) {
    std::int64_t list = DropDownListCreate(-1, 10, 70, 70, height, 0);
    ASSERT_NE(list, 0);
    RECT r = ClientRectIn(Window(), ControlHandle(list));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right - r.left, 70);
    EXPECT_EQ(r.bottom - r.top, height);
    ControlFree(list);
  }
}

TEST_F(DropDownListTest, AddItemAppendsInCallOrderAndIgnoresPositionsBelowMinusOne) {
  std::int64_t list = DropDownListCreate(-1, 10, 70, 70, 20, 0);
  EXPECT_EQ(ControlAddItem(list, -1, L"COM9"), 1);
  EXPECT_EQ(ControlAddItem(list, -1, L"COM10"), 1);
  EXPECT_EQ(ControlAddItem(list, -1, L"COM2"), 1);
  EXPECT_EQ(ControlAddItem(list, -2, L"COM5"), 1);
  EXPECT_EQ(ControlAddItem(list, 0, L"COM1"), 1);
  EXPECT_EQ(Items(ControlHandle(list)), (std::vector<std::wstring>{L"COM1", L"COM9", L"COM10", L"COM2"}));
  EXPECT_TRUE(Drain().empty());
}

TEST_F(DropDownListTest, TextIsEmptyBeforeAPickAndTheItemAfter) {
  std::int64_t list = DropDownListCreate(-1, 10, 70, 70, 20, 0);
  ControlAddItem(list, -1, L"COM3");
  ControlAddItem(list, -1, L"COM10");
  EXPECT_EQ(ControlGetText(list), L"");

  Pick(ControlHandle(list), 1);
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{list, kControlChange}}));
  EXPECT_EQ(ControlGetText(list), L"COM10");
}

TEST_F(DropDownListTest, PickByKeyboardOnTheOpenListGivesOneChange) {
  std::int64_t list = DropDownListCreate(-1, 10, 70, 70, 20, 0);
  ControlAddItem(list, -1, L"COM3");
  ControlAddItem(list, -1, L"COM10");
  HWND native = ControlHandle(list);
  SetFocus(native);
  SendMessageW(native, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(SendMessageW(native, CB_GETDROPPEDSTATE, 0, 0));
  SendMessageW(native, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(native, WM_KEYDOWN, VK_RETURN, 0);
  std::vector<ControlEvent> changes;
  for (const ControlEvent& e : DrainUntil(list, kControlChange))
    if (e.type == kControlChange) changes.push_back(e);
  EXPECT_EQ(changes, (std::vector<ControlEvent>{{list, kControlChange}}));
  EXPECT_EQ(ControlGetText(list), L"COM3");
}

TEST_F(DropDownListTest, SetTextSelectsTheExactItemOrNothing) {
  std::int64_t list = DropDownListCreate(-1, 10, 70, 70, 20, 0);
  ControlAddItem(list, -1, L"COM1");
  ControlAddItem(list, -1, L"COM12");
  ControlSetText(list, L"COM12");
  EXPECT_EQ(ControlGetText(list), L"COM12");
  ControlSetText(list, L"COM4");
  EXPECT_EQ(ControlGetText(list), L"COM12");
  ControlSetText(list, nullptr);
  EXPECT_EQ(ControlGetText(list), L"");
  ControlSetState(list, 0);
  EXPECT_EQ(ControlGetText(list), L"COM1");
  EXPECT_TRUE(Drain().empty());
}

}  // namespace
