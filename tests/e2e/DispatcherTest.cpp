#include "app/EventDispatcher.h"
#include "app/UpdaterState.h"
#include "app/WindowBuilder.h"
#include "runtime/base/DeviceContext.h"
#include "runtime/window/Window.h"

#include <gtest/gtest.h>

namespace {

TEST(EventDispatcher, OnlyTheCloseEventEndsTheLoop) {
  EXPECT_EQ(DispatchEvent(kCloseEvent), 0);
  for (int code : {0, kMenuEvent, kControlEvent, kTimerEvent, 0x0200, -5}) {
    EventPush(kControlEvent, 0, 0, 0, 0, nullptr, 0);
    EXPECT_EQ(DispatchEvent(code), 1) << code;
    NextEvent(0);
  }
}

TEST(WindowBuilder, OpensTheUpdaterWindowInDarkGrey) {
  ASSERT_EQ(BuildUpdaterWindow(0, 0, 400, 200), 0);
  HWND window = WindowHandle(g_updater.window);
  ASSERT_NE(window, nullptr);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 200);
  UpdateWindow(window);
  EXPECT_EQ(GetPixel(WindowDc(window).get(), 200, 150), RGB(42, 42, 42));
  EXPECT_EQ(g_updater.progress, 0);
  WindowClose(g_updater.window);
}

}  // namespace
