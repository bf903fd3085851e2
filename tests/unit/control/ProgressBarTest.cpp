#include "ControlFixture.h"
#include "tests/support/TestThread.h"

#include <commctrl.h>

#include <atomic>

namespace {

using ProgressBarTest = ControlTest;

LRESULT Position(HWND bar) { return SendMessageW(bar, PBM_GETPOS, 0, 0); }
bool Marquee(HWND bar) { return GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE; }

TEST_F(ProgressBarTest, ValuesOutsideTheRangeShowAtTheNearerEndAndMinusOneIsIndeterminate) {
  std::int64_t number = ProgressBarCreate(-1, 10, 110, 380, 30, 0, 100, 0);
  ASSERT_NE(number, 0);
  HWND bar = ControlHandle(number);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(Position(bar), 0);

  ControlSetState(number, 100);
  EXPECT_EQ(Position(bar), 100);
  ControlSetState(number, 150);
  EXPECT_EQ(Position(bar), 100);
  EXPECT_EQ(ControlGetState(number), 100) << "what the bar shows";
  ControlSetState(number, -5);
  EXPECT_EQ(Position(bar), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);

  ControlSetState(number, -1);
  EXPECT_TRUE(Marquee(bar));
  ControlSetState(number, -1);
  EXPECT_TRUE(Marquee(bar));
  EXPECT_EQ(ControlGetState(number), -1);
  ControlSetState(number, 40);
  EXPECT_FALSE(Marquee(bar));
  EXPECT_EQ(Position(bar), 40);
  EXPECT_EQ(ControlGetState(number), 40);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(ProgressBarTest, RangeIsKeptForOtherBounds) {
  std::int64_t number = ProgressBarCreate(-1, 10, 110, 380, 30, 20, 60, 0);
  HWND bar = ControlHandle(number);
  ControlSetState(number, 10);
  EXPECT_EQ(Position(bar), 20);
  ControlSetState(number, 59);
  EXPECT_EQ(Position(bar), 59);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 20);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 60);
}

TEST_F(ProgressBarTest, ValueFromAnotherThreadArrivesWhileTheOwnerServesEvents) {
  std::int64_t number = ProgressBarCreate(-1, 10, 110, 380, 30, 0, 100, 0);
  HWND bar = ControlHandle(number);
  TestThread setter([number] { ControlSetState(number, 77); });
  bool arrived = WaitUntil([&] {
    NextEvent(0);
    return Position(bar) == 77;
  });
  setter.Join([] { NextEvent(0); });
  EXPECT_TRUE(arrived);
}

// The upload worker and the refresher both set the bar: their widen, set,
// narrow, set steps must not interleave, or the range stays widened.
TEST_F(ProgressBarTest, TwoThreadsSettingAtOnceLeaveTheRangeAndAFullBar) {
  std::int64_t number = ProgressBarCreate(-1, 10, 110, 380, 30, 0, 100, 0);
  HWND bar = ControlHandle(number);
  constexpr int kSets = 200;
  std::atomic<int> done{0};
  auto hammer = [&](int offset) {
    for (int i = 0; i < kSets; ++i) ControlSetState(number, (i + offset) % 101);
    ++done;
  };
  TestThread worker([&] { hammer(0); });
  TestThread refresher([&] { hammer(50); });
  bool finished = WaitUntil([&] {
    NextEvent(0);
    return done == 2;
  }, std::chrono::seconds(60));
  worker.Join([] { NextEvent(0); });
  refresher.Join([] { NextEvent(0); });
  ASSERT_TRUE(finished);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  ControlSetState(number, 100);
  EXPECT_EQ(Position(bar), 100);
}

}  // namespace
