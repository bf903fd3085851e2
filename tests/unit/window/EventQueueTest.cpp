#include "runtime/thread/Thread.h"
#include "tests/support/Wait.h"
#include "tests/unit/window/EventLog.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

void Push(int code, std::int64_t object = 1, std::int64_t window = 2, std::int64_t type = 0,
          std::uint32_t flags = 0) {
  EventPush(code, object, window, type, 0, nullptr, flags);
}

TEST(EventQueue, EmptyQueueGivesZeroAndTypeMinusOneButKeepsTheLastObjectAndWindow) {
  DrainEvents();
  Push(kControlEvent, 7, 3, 0x300);
  ASSERT_EQ(NextEvent(0), kControlEvent);
  EXPECT_EQ(CurrentEventType(), 0x300);
  EXPECT_EQ(NextEvent(0), 0);
  EXPECT_EQ(CurrentEventType(), -1);
  EXPECT_EQ(CurrentEventObject(), 7);
  EXPECT_EQ(CurrentEventWindow(), 3);
}

TEST(EventQueue, OnlyIdenticalNeighboursFold) {
  DrainEvents();
  Push(kControlEvent);
  Push(kControlEvent);
  Push(kMenuEvent);
  Push(kControlEvent);
  Push(kControlEvent, 1, 2, 5);  // another type
  Push(kControlEvent, 1, 4, 5);  // another window
  EXPECT_EQ(DrainEvents().size(), 5u);
  Push(0x10000);  // codes from 0x10000 up never fold
  Push(0x10000);
  EXPECT_EQ(NextEvent(0), 0x10000);
  EXPECT_EQ(NextEvent(0), 0x10000);
}

TEST(EventQueue, SuppressedEventsAreLostUnlessUnsuppressible) {
  DrainEvents();
  EventSuppressBegin();
  EventSuppressBegin();
  Push(kControlEvent, 1);
  EventSuppressEnd();
  Push(kControlEvent, 2);
  Push(kMenuEvent, 3, 2, 0, kEventUnsuppressible);
  EventSuppressEnd();
  EventSuppressEnd();  // one end too many must not leave the queue suppressed
  Push(kControlEvent, 4);
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].object, 3);
  EXPECT_EQ(taken[1].object, 4);
}

TEST(EventQueue, RemoveTakesMinusOneAsAnyValue) {
  DrainEvents();
  Push(kControlEvent, 1, 10);
  Push(kMenuEvent, 2, 10);
  Push(kControlEvent, 1, 20, 0);
  Push(kControlEvent, 1, 20, 7);
  EventsRemove(-1, -1, 10, -1);
  EventsRemove(kControlEvent, 1, -1, 7);
  std::vector<TakenEvent> taken = DrainEvents();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].window, 20);
  EXPECT_EQ(taken[0].type, 0);
}

TEST(EventQueue, EachThreadHasItsOwnQueueAndSuppression) {
  DrainEvents();
  EventSuppressBegin();
  int seenThere = 0;
  std::size_t areas = TextAreaCount();
  std::thread other([&] {
    TextAreaEnter();  // released after the thread's block, so its count tells when both are gone
    Push(kMenuEvent, 42);
    seenThere = NextEvent(0);
    Push(kControlEvent, 43);
  });
  other.join();
  EXPECT_TRUE(WaitUntil([&] { return TextAreaCount() == areas; }));
  EventSuppressEnd();
  EXPECT_EQ(seenThere, kMenuEvent);
  EXPECT_TRUE(DrainEvents().empty());
}

}  // namespace
