#include "runtime/window/Window.h"

#include <gtest/gtest.h>

namespace {

// Empties the calling thread's queue of events and messages.
void Drain() {
  while (NextEvent(0) != 0) {
  }
}

TEST(EventQueue, AnEmptyQueueGivesZeroAndTypeMinusOne) {
  Drain();
  EXPECT_EQ(NextEvent(0), 0);
  EXPECT_EQ(CurrentEventType(), -1);
}

TEST(EventQueue, IdenticalNeighboursFoldButSeparatedOnesStay) {
  Drain();
  EventPush(kControlEvent, 7, 1, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 7, 1, 0, 0, nullptr, 0);
  EXPECT_EQ(NextEvent(0), kControlEvent);
  EXPECT_EQ(CurrentEventObject(), 7);
  EXPECT_EQ(NextEvent(0), 0) << "the second identical event folded into the first";

  EventPush(kControlEvent, 7, 1, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 8, 1, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 7, 1, 0, 0, nullptr, 0);
  int taken = 0;
  std::vector<std::int64_t> objects;
  while (NextEvent(0) == kControlEvent) {
    ++taken;
    objects.push_back(CurrentEventObject());
  }
  EXPECT_EQ(taken, 3);
  EXPECT_EQ(objects, (std::vector<std::int64_t>{7, 8, 7})) << "oldest first";
  EXPECT_EQ(CurrentEventObject(), 7) << "an empty take keeps the last object";
}

TEST(EventQueue, SuppressedEventsAreLostUnlessFlagged) {
  Drain();
  EventSuppressBegin();
  EventPush(kControlEvent, 1, 1, 0x300, 0, nullptr, 0);
  EventPush(kControlEvent, 2, 1, 0x300, 0, nullptr, kEventUnsuppressible);
  EventSuppressEnd();
  EXPECT_EQ(NextEvent(0), kControlEvent);
  EXPECT_EQ(CurrentEventObject(), 2);
  EXPECT_EQ(CurrentEventType(), 0x300);
  EXPECT_EQ(NextEvent(0), 0);
}

TEST(EventQueue, RemoveMatchesWildcards) {
  Drain();
  EventPush(kControlEvent, 1, 5, 0, 0, nullptr, 0);
  EventPush(kMenuEvent, 2, 5, 0, 0, nullptr, 0);
  EventPush(kControlEvent, 3, 6, 0, 0, nullptr, 0);
  EventsRemove(kControlEvent, -1, 5, -1);
  EXPECT_EQ(NextEvent(0), kMenuEvent);
  EXPECT_EQ(NextEvent(0), kControlEvent);
  EXPECT_EQ(CurrentEventWindow(), 6);
  EXPECT_EQ(NextEvent(0), 0);
}

TEST(EventQueue, EventDataIsReleasedWhenTheNextEventIsTaken) {
  static int released = 0;
  Drain();
  EventPush(kTimerEvent, 1, 1, 0, 42, [](std::int64_t data) { released += static_cast<int>(data); }, 0);
  EXPECT_EQ(NextEvent(0), kTimerEvent);
  EXPECT_EQ(released, 0);
  NextEvent(0);
  EXPECT_EQ(released, 42);
}

}  // namespace
