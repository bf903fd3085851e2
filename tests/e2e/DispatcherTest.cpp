#include "app/EventDispatcher.h"
#include "app/UpdaterState.h"
#include "app/WindowBuilder.h"
#include "runtime/base/DeviceContext.h"
#include "runtime/control/Control.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace std::chrono_literals;

std::int64_t ReturnAtOnce(std::int64_t) { return 0; }

// Threads started while `action` ran, counted by the numbers ThreadStart
// hands out, which go up by one for every thread.
std::int64_t ThreadsStartedDuring(const std::function<void()>& action) {
  std::int64_t before = ThreadStart(ReturnAtOnce, 0);
  action();
  return ThreadStart(ReturnAtOnce, 0) - before - 1;
}

// Dispatches `code` as the current event, coming from `object`.
int Dispatch(int code, std::int64_t object) {
  EventPush(code, object, g_updater.window, 0, 0, nullptr, 0);
  return DispatchEvent(NextEvent(0));
}

HWND OutcomeBox() { return FindWindowW(L"#32770", L"ERROR:1"); }

// Each test builds the updater window, whose progress refresher never ends:
// each runs in a process of its own.
TEST(FreshProcess, DISABLED_OnlyUpdateStartsARunOneAtATimeAndOnlyTheCloseEventEnds) {
  ASSERT_EQ(BuildUpdaterWindow(0, 0, 400, 200), 0);
  ControlSetText(g_updater.firmwarePathField, L"no-such-firmware.fw");
  // What building the window queued; NextEvent hands the events out one by one.
  for (int i = 0; i < 1000 && NextEvent(0) != 0; ++i) {
  }

  std::int64_t started = ThreadsStartedDuring([] {
    for (std::int64_t control :
         {std::int64_t{0}, g_updater.portList, g_updater.firmwarePathField, g_updater.progressBar})
      EXPECT_EQ(Dispatch(kControlEvent, control), 1) << control;
    // The current event now comes from UPDATE!: only its kind may start a run.
    EventPush(kControlEvent, g_updater.updateButton, g_updater.window, 0, 0, nullptr, 0);
    NextEvent(0);
    for (int code : {0, kMenuEvent, kTimerEvent, 0x0200, -5}) EXPECT_EQ(DispatchEvent(code), 1) << code;
    EXPECT_EQ(DispatchEvent(kCloseEvent), 0);
  });
  EXPECT_EQ(started, 0) << "no run started";
  EXPECT_EQ(OutcomeBox(), nullptr);

  // The worker needs this thread to serve its control calls, so the second
  // press finds the first run still active.
  started = ThreadsStartedDuring([] {
    EXPECT_EQ(Dispatch(kControlEvent, g_updater.updateButton), 1);
    EXPECT_EQ(Dispatch(kControlEvent, g_updater.updateButton), 1);
  });
  EXPECT_EQ(started, 1) << "one run for two presses";
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = OutcomeBox()) != nullptr; }, 10s)) << "the run reported the missing file";
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([] { return OutcomeBox() == nullptr; }, 10s));
  WindowClose(g_updater.window);
}

TEST(FreshProcess, DISABLED_OpensTheUpdaterWindowInDarkGrey) {
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

TEST(EventDispatcher, OnlyUpdateStartsARunOneAtATimeAndOnlyTheCloseEventEnds) {
  EXPECT_TRUE(PassesInFreshProcess("OnlyUpdateStartsARunOneAtATimeAndOnlyTheCloseEventEnds"));
}

TEST(WindowBuilder, OpensTheUpdaterWindowInDarkGrey) {
  EXPECT_TRUE(PassesInFreshProcess("OpensTheUpdaterWindowInDarkGrey"));
}

}  // namespace
