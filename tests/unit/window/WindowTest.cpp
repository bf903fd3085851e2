#include "runtime/window/Window.h"
#include "runtime/thread/Thread.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kUpdaterFlags = 0xC80003;

// A window for one test, closed again at its end.
struct OpenWindow {
  OpenWindow(int width, int height, std::uint32_t flags = kUpdaterFlags)
      : number(WindowOpen(-1, 0, 0, width, height, L"test window", flags, nullptr)) {}
  ~OpenWindow() { WindowClose(number); }
  HWND Handle() const { return WindowHandle(number); }
  std::int64_t number;
};

TEST(Window, ClientSizeIsExactAndTheOuterRectangleIsCentred) {
  OpenWindow window(400, 200);
  ASSERT_NE(window.number, 0);
  RECT client{};
  GetClientRect(window.Handle(), &client);
  EXPECT_EQ(client.right - client.left, 400);
  EXPECT_EQ(client.bottom - client.top, 200);

  RECT outer{};
  GetWindowRect(window.Handle(), &outer);
  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(outer.left, (screenWidth - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (screenHeight - (outer.bottom - outer.top)) / 2);
  EXPECT_EQ(WindowNumberOf(window.Handle()), window.number);
}

TEST(Window, AWindowWiderThanTheScreenStartsAtTheLeftEdge) {
  OpenWindow window(GetSystemMetrics(SM_CXSCREEN) + 300, 100);
  ASSERT_NE(window.number, 0);
  RECT outer{};
  GetWindowRect(window.Handle(), &outer);
  EXPECT_EQ(outer.left, 0);
}

COLORREF ClientPixel(HWND window, int x, int y) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(window);
  COLORREF pixel = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return pixel;
}

TEST(Window, TheBackgroundPaintsTheColourSetAndTheSystemColourWithout) {
  OpenWindow window(400, 200);
  ASSERT_NE(window.number, 0);
  WindowSetColour(window.number, ColourFromRgb(42, 42, 42));
  EXPECT_EQ(ColourFromRgb(42, 42, 42), 0x2A2A2A);
  EXPECT_TRUE(WaitUntil([&] { return ClientPixel(window.Handle(), 200, 100) == RGB(42, 42, 42); }, 5s));
  WindowSetColour(window.number, kNoColour);
  EXPECT_TRUE(WaitUntil([&] { return ClientPixel(window.Handle(), 200, 100) == GetSysColor(COLOR_BTNFACE); }, 5s));
}

TEST(Window, ACloseRequestQueuesACloseEventAndLeavesTheWindowOpen) {
  OpenWindow window(200, 100);
  ASSERT_NE(window.number, 0);
  while (NextEvent(0) != 0) {
  }
  PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
  int code = 0;
  ASSERT_TRUE(WaitUntil([&] { return (code = NextEvent(10)) == kCloseEvent; }, 5s));
  EXPECT_EQ(CurrentEventObject(), window.number);
  EXPECT_EQ(CurrentEventWindow(), window.number);
  EXPECT_TRUE(IsWindow(window.Handle()));
}

std::atomic<bool> g_sent{false};
HWND g_target = nullptr;

std::int64_t SetTitleFromAnotherThread(std::int64_t) {
  SetWindowTextW(g_target, L"from another thread");  // waits until the window's thread serves it
  g_sent = true;
  return 0;
}

// True once `flag` is set, without serving any message meanwhile.
bool SetWithoutServing(const std::atomic<bool>& flag) {
  for (int i = 0; i < 2000 && !flag; ++i) Sleep(1);
  return flag;
}

TEST(Window, AWaitingNextEventServesCallsFromOtherThreads) {
  OpenWindow window(200, 100);
  ASSERT_NE(window.number, 0);
  while (NextEvent(0) != 0) {
  }
  g_target = window.Handle();
  g_sent = false;
  ThreadStart(SetTitleFromAnotherThread, 0);
  // One wait as the idle loop makes it. Were sent messages not served inside
  // it, the other thread would still be blocked afterwards.
  NextEvent(5000);
  EXPECT_TRUE(SetWithoutServing(g_sent));
  wchar_t title[64] = {};
  GetWindowTextW(window.Handle(), title, 64);
  EXPECT_STREQ(title, L"from another thread");
}

TEST(Window, NumbersThatNameNothingAreHarmless) {
  for (std::int64_t number : {std::int64_t{-5}, std::int64_t{0}, std::int64_t{12345}, std::int64_t{1} << 40}) {
    WindowSetColour(number, 0xFF);
    WindowClose(number);
    EXPECT_EQ(WindowHandle(number), nullptr);
  }
  EXPECT_EQ(WindowNumberOf(nullptr), -1);
}

}  // namespace
