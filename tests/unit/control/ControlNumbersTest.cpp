#include "ControlFixture.h"

#include "tests/support/FailingAllocations.h"
#include "tests/support/TestThread.h"

namespace {

using ControlNumbersTest = ControlTest;

TEST_F(ControlNumbersTest, AnyNumberGivesAnIdentifierAndAFixedNumberGivesTheHandle) {
  std::int64_t any = PushButtonCreate(-1, 0, 0, 50, 20, L"a", 0);
  EXPECT_GE(any, std::int64_t{1} << 32);
  EXPECT_EQ(GetWindowLongPtrW(ControlHandle(any), GWLP_ID), any);

  std::int64_t fixed = PushButtonCreate(3, 0, 30, 50, 20, L"b", 0);
  EXPECT_EQ(fixed, reinterpret_cast<std::intptr_t>(ControlHandle(3)));
  EXPECT_EQ(GetWindowLongPtrW(ControlHandle(3), GWLP_ID), 3);
  EXPECT_EQ(GetParent(ControlHandle(3)), Window());
}

TEST_F(ControlNumbersTest, ReusingANumberDestroysTheOldControl) {
  PushButtonCreate(4, 0, 0, 50, 20, L"old", 0);
  HWND old = ControlHandle(4);
  TextFieldCreate(4, 0, 30, 50, 20, L"new", 0);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(ControlGetText(4), L"new");
  EXPECT_EQ(ControlAddItem(4, -1, L"x"), 0);
}

TEST_F(ControlNumbersTest, FreeingDestroysTheWindowAndDropsItsWaitingEvents) {
  std::int64_t button = PushButtonCreate(-1, 0, 0, 50, 20, L"a", 0);
  std::int64_t other = PushButtonCreate(-1, 0, 30, 50, 20, L"b", 0);
  HWND native = ControlHandle(button);
  SendMessageW(native, BM_CLICK, 0, 0);
  SendMessageW(ControlHandle(other), BM_CLICK, 0, 0);
  ControlFree(button);
  EXPECT_FALSE(IsWindow(native));
  EXPECT_EQ(ControlHandle(button), nullptr);
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{other, kControlLeftClick}}));
}

TEST_F(ControlNumbersTest, NumbersNamingNoControlDoNothing) {
  std::int64_t button = PushButtonCreate(-1, 0, 0, 50, 20, L"a", 0);
  ControlFree(button);
  for (std::int64_t number : {button, std::int64_t{7}, std::int64_t{1000}, std::int64_t{-5}, button + 1}) {
    EXPECT_EQ(ControlHandle(number), nullptr);
    EXPECT_EQ(ControlGetText(number), L"");
    EXPECT_EQ(ControlAddItem(number, -1, L"x"), 0);
    EXPECT_EQ(ControlGetState(number), 0);
    ControlSetState(number, 1);
    ControlSetText(number, L"x");
    ControlDisable(number, 1);
    ControlFree(number);
  }
  EXPECT_EQ(PushButtonCreate(-7, 0, 0, 50, 20, L"refused", 0), 0);
  EXPECT_EQ(GetWindow(Window(), GW_CHILD), nullptr);
}

TEST_F(ControlNumbersTest, OutOfMemoryACreationGivesZeroAndATextTheEmptyText) {
  const wchar_t kept[] = L"a text too long for the string's own small buffer";
  TextFieldCreate(2, 0, 0, 50, 20, kept, 0);
  std::int64_t made = 1;
  std::wstring text = L"unchanged";
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(made = PushButtonCreate(-1, 0, 30, 50, 20, L"b", 0));
    EXPECT_NO_THROW(text = ControlGetText(2));
  }
  EXPECT_EQ(made, 0);
  EXPECT_EQ(text, L"");
  EXPECT_EQ(ControlGetText(2), kept);
  EXPECT_EQ(GetWindow(ControlHandle(2), GW_HWNDNEXT), nullptr) << "the window made for the button is gone";
}

TEST_F(ControlNumbersTest, ClosingTheWindowReleasesItsControls) {
  std::int64_t field = TextFieldCreate(-1, 0, 0, 50, 20, L"a", 0);
  HWND native = ControlHandle(field);
  WindowClose(window);
  EXPECT_FALSE(IsWindow(native));
  EXPECT_EQ(ControlHandle(field), nullptr);
}

TEST_F(ControlNumbersTest, TextIsReadFromAnotherThreadThroughItsOwnTextArea) {
  std::int64_t field = TextFieldCreate(-1, 0, 0, 200, 20, L"from the main thread", 0);
  std::wstring read;
  TestThread reader([&] { read = ControlGetText(field); });
  bool done = WaitUntil([&] {
    NextEvent(0);
    return reader.Ended();
  });
  reader.Join([] { NextEvent(0); });
  EXPECT_TRUE(done);
  EXPECT_EQ(read, L"from the main thread");
}

}  // namespace
