#include "runtime/thread/Thread.h"
#include "tests/support/Wait.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr int kCodeA = kControlEvent;
constexpr int kCodeB = kMenuEvent;

void Push(int code, std::int64_t object = 1, std::int64_t window = 2, std::int64_t type = 0,
          std::uint32_t flags = 0) {
  EventPush(code, object, window, type, 0, nullptr, flags);
}

TEST(EventQueue, EmptyQueueGivesZeroAndTypeMinusOneButKeepsTheLastObjectAndWindow) {
  DrainEvents();
  Push(kCodeA, 7, 3, 0x300);
  ASSERT_EQ(NextEvent(0), kCodeA);
  EXPECT_EQ(CurrentEventObject(), 7);
  EXPECT_EQ(CurrentEventWindow(), 3);
  EXPECT_EQ(CurrentEventType(), 0x300);

  EXPECT_EQ(NextEvent(0), 0);
  EXPECT_EQ(CurrentEventType(), -1);
  EXPECT_EQ(CurrentEventObject(), 7);
  EXPECT_EQ(CurrentEventWindow(), 3);
}

TEST(EventQueue, OnlyIdenticalNeighboursFold) {
  DrainEvents();
  Push(kCodeA);
  Push(kCodeA);
  EXPECT_EQ(CodesOf(DrainEvents()), (std::vector<int>{kCodeA}));

  Push(kCodeA);
  Push(kCodeB);
  Push(kCodeA);
  EXPECT_EQ(CodesOf(DrainEvents()), (std::vector<int>{kCodeA, kCodeB, kCodeA}));

  // Any field that differs keeps both.
  Push(kCodeA, 1, 2, 0);
  Push(kCodeA, 1, 2, 5);
  Push(kCodeA, 9, 2, 5);
  Push(kCodeA, 9, 4, 5);
  EXPECT_EQ(DrainEvents().size(), 4u);

  // Codes from 0x10000 up never fold.
  Push(0x10000);
  Push(0x10000);
  EXPECT_EQ(CodesOf(DrainEvents()), (std::vector<int>{0x10000, 0x10000}));
}

TEST(EventQueue, SuppressedEventsAreLostUnlessUnsuppressible) {
  DrainEvents();
  EventSuppressBegin();
  EventSuppressBegin();
  Push(kCodeA, 1);
  EventSuppressEnd();
  Push(kCodeA, 2);  // still suppressed once
  Push(kCodeB, 3, 2, 0, kEventUnsuppressible);
  EventSuppressEnd();
  Push(kCodeA, 4);
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].object, 3);
  EXPECT_EQ(taken[1].object, 4);

  // Ending more often than beginning must not leave the queue suppressed.
  EventSuppressEnd();
  Push(kCodeA, 5);
  EXPECT_EQ(DrainEvents().size(), 1u);
}

TEST(EventQueue, RemoveMatchesMinusOneAsAnyValue) {
  DrainEvents();
  Push(kCodeA, 1, 10, 0);
  Push(kCodeB, 2, 10, 0);
  Push(kCodeA, 1, 20, 0);
  Push(kCodeA, 1, 20, 7);
  Push(kCodeB, 1, 20, 7);
  EventsRemove(-1, -1, 10, -1);
  EventsRemove(kCodeA, 1, -1, 7);
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].code, kCodeA);
  EXPECT_EQ(taken[0].type, 0);
  EXPECT_EQ(taken[1].code, kCodeB);
  EXPECT_EQ(taken[1].window, 20);
}

std::atomic<int> g_released{0};
std::atomic<std::int64_t> g_releasedSum{0};
void CountRelease(std::int64_t data) {
  ++g_released;
  g_releasedSum += data;
}

TEST(EventQueue, EventDataIsReleasedExactlyOnceWhateverBecomesOfTheEvent) {
  DrainEvents();
  g_released = 0;
  g_releasedSum = 0;
  EventPush(kCodeA, 1, 2, 0, 100, CountRelease, 0);
  EventPush(kCodeA, 1, 2, 0, 20, CountRelease, 0);  // folds away
  EXPECT_EQ(g_released, 1);
  EXPECT_EQ(g_releasedSum, 20);

  ASSERT_EQ(NextEvent(0), kCodeA);
  EXPECT_EQ(g_released, 1) << "the current event's data lives until the next NextEvent";
  EXPECT_EQ(NextEvent(0), 0);
  EXPECT_EQ(NextEvent(0), 0);
  EXPECT_EQ(g_released, 2);
  EXPECT_EQ(g_releasedSum, 120);

  EventPush(kCodeB, 1, 2, 0, 3, CountRelease, 0);
  EventsRemove(kCodeB, -1, -1, -1);
  EventSuppressBegin();
  EventPush(kCodeB, 1, 2, 0, 4, CountRelease, 0);
  EventSuppressEnd();
  EXPECT_EQ(g_released, 4);
  EXPECT_EQ(g_releasedSum, 127);
}

TEST(EventQueue, EachThreadHasItsOwnQueueAndSuppression) {
  DrainEvents();
  EventSuppressBegin();
  int seenThere = -1;
  std::size_t areas = TextAreaCount();
  std::thread other([&] {
    // The text area is released after the thread's block (the later
    // registration runs first), so its count tells when both are gone.
    TextAreaEnter();
    Push(kCodeB, 42);  // not held back by this thread's suppression
    seenThere = NextEvent(0);
    Push(kCodeA, 43);  // left behind in the other thread's queue
  });
  other.join();
  EXPECT_TRUE(WaitUntil([&] { return TextAreaCount() == areas; }));
  EventSuppressEnd();
  EXPECT_EQ(seenThere, kCodeB);
  EXPECT_TRUE(DrainEvents().empty());
}

}  // namespace
