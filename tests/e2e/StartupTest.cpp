#include "tests/support/Process.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchUpdaterWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (process != search->process || std::wstring_view(title) != L"Update firmware 1.0") return TRUE;
  search->found = window;
  return FALSE;
}

HWND UpdaterWindowOf(const ChildProcess& updater) {
  Search search{updater.Id(), nullptr};
  EnumWindows(MatchUpdaterWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class RunningUpdater : public testing::Test {
 protected:
  void SetUp() override {
    updater_ = ChildProcess::Start(WindowsPathOf(FWU_UPDATER_EXE), {});
    ASSERT_TRUE(updater_);
    // Shown once the window is made; the event loop runs from then on.
    ASSERT_TRUE(WaitUntil([&] {
      window_ = UpdaterWindowOf(updater_);
      return window_ && IsWindowVisible(window_);
    }));
  }
  void TearDown() override { updater_.Terminate(); }

  ChildProcess updater_;
  HWND window_ = nullptr;
};

TEST_F(RunningUpdater, ShowsTheWindowAndServesCallsWhileIdle) {
  RECT client{};
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 200);

  // Each call is served by the idle updater's event loop on its main thread.
  for (int i = 0; i < 10; ++i) {
    std::wstring title = L"Update firmware 1.0";
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutW(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()),
                                  SMTO_ABORTIFHUNG, 5000, &result),
              0)
        << "call " << i;
  }
}

TEST_F(RunningUpdater, ACloseRequestEndsTheProgramWithExitCodeZero) {
  ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
  ASSERT_TRUE(updater_.WaitExit(20s));
  EXPECT_EQ(updater_.ExitCode(), 0u);
}

}  // namespace
