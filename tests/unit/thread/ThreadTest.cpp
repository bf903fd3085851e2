#include "runtime/Runtime.h"
#include "runtime/base/UniqueHandle.h"
#include "runtime/thread/Thread.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> g_release{false};

std::int64_t WaitForRelease(std::int64_t) {
  while (!g_release) Sleep(1);
  return 0;
}

std::int64_t ReturnAtOnce(std::int64_t argument) { return argument; }

TEST(Thread, NumbersCountUpAndAnEndedThreadKeepsItsEntryUntilTheNextStart) {
  g_release = false;
  std::int64_t first = ThreadStart(WaitForRelease, 0);
  std::int64_t second = ThreadStart(ReturnAtOnce, 0);
  ASSERT_GT(first, 0);
  EXPECT_EQ(second, first + 1);
  ASSERT_TRUE(WaitUntil([&] { return ThreadIsRunning(second) == 0; }));
  EXPECT_EQ(ThreadIsRunning(first), 1);
  std::size_t entries = ThreadEntryCount();

  g_release = true;
  ASSERT_TRUE(WaitUntil([&] { return ThreadIsRunning(first) == 0; }));
  EXPECT_EQ(ThreadEntryCount(), entries) << "ended threads are reaped only by the next start";

  std::int64_t third = ThreadStart(ReturnAtOnce, 0);
  EXPECT_EQ(third, second + 1) << "numbers are never reused";
  EXPECT_LE(ThreadEntryCount(), 1u);
  EXPECT_EQ(ThreadIsRunning(0), 0);
  EXPECT_EQ(ThreadIsRunning(-1), 0);
  EXPECT_EQ(ThreadIsRunning(third + 100), 0);
}

TEST(Thread, ExitCodeIsTheProcedureResult) {
  std::int64_t number = ThreadStart(ReturnAtOnce, 42);
  ASSERT_GT(number, 0);
  ASSERT_TRUE(WaitUntil([&] { return ThreadIsRunning(number) == 0; }));
}

TEST(Delay, FirstDelayRaisesTheTimerResolutionAndZeroYields) {
  DelayMs(0);
  EXPECT_TRUE(TimerResolutionRaised());
  DelayMs(1);
}

struct ExitSeen {
  std::atomic<DWORD> releasingThread{0};
  std::atomic<int> order{0};
  std::atomic<int> first{0};
};

ExitSeen g_exit;

void RecordFirst(void*) {
  g_exit.first = ++g_exit.order;
  g_exit.releasingThread = GetCurrentThreadId();
}
void RecordSecond(void*) { ++g_exit.order; }

std::atomic<DWORD> g_workerId{0};

std::int64_t WorkerWithTextArea(std::int64_t) {
  g_workerId = GetCurrentThreadId();
  TextAreaEnter();
  TextAreaEnter();  // a second enter keeps the same area
  void* room = TextAreaReserve(100000);
  if (!room) return 1;
  static_cast<char*>(room)[99999] = 1;
  AtThreadExit(RecordFirst, nullptr);
  AtThreadExit(RecordSecond, nullptr);
  return 0;
}

TEST(ThreadExit, AWorkersTextAreaIsReleasedAfterItEndsOnAnotherThread) {
  std::size_t before = TextAreaCount();
  std::int64_t number = ThreadStart(WorkerWithTextArea, 0);
  ASSERT_GT(number, 0);
  ASSERT_TRUE(WaitUntil([&] { return g_exit.order == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return TextAreaCount() == before; }));
  EXPECT_EQ(ThreadIsRunning(number), 0);
  EXPECT_NE(g_exit.releasingThread.load(), 0u);
  EXPECT_NE(g_exit.releasingThread.load(), g_workerId.load());
  EXPECT_EQ(g_exit.first, 2) << "pairs run most recently registered first";
}

struct Counter {
  int value;
};
std::atomic<int> g_inits{0};
std::atomic<int> g_ends{0};
void InitSlot(void* slot) {
  static_cast<Counter*>(slot)->value = 7;
  ++g_inits;
}
void EndSlot(void*) { ++g_ends; }

std::size_t g_offset = 0;
std::atomic<int> g_seen{0};

std::int64_t ReadSlot(std::int64_t) {
  auto* counter = static_cast<Counter*>(ThreadSlotGet(g_offset));
  g_seen = counter ? counter->value : -1;
  return 0;
}

TEST(ThreadBlock, SlotsStartFromTheirInitAndEndAfterTheThread) {
  g_offset = ThreadSlotReserve(sizeof(Counter), InitSlot, EndSlot);
  EXPECT_EQ(g_offset % 8, 0u);
  EXPECT_EQ(g_inits, 1) << "init runs on the reserving thread's block at once";
  EXPECT_EQ(static_cast<Counter*>(ThreadSlotGet(g_offset))->value, 7);

  ThreadStart(ReadSlot, 0);
  ASSERT_TRUE(WaitUntil([] { return g_ends == 1; }));
  EXPECT_EQ(g_seen, 7);
  EXPECT_EQ(g_inits, 2);
}

// A thread whose releases are held back on the wait-pool thread until the
// runtime has shut down, as when the program closes right after a worker ends.
struct HeldRelease {
  UniqueKernelHandle holding{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle go{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

HeldRelease* g_held = nullptr;

void SignalReleased(void*) { SetEvent(g_held->done.get()); }
void HoldRelease(void*) {
  SetEvent(g_held->holding.get());
  WaitForSingleObject(g_held->go.get(), 10000);
}

// Pairs run newest first: the hold, then the block and the text area are
// freed, then the end is signalled.
std::int64_t WorkerEndingAtShutdown(std::int64_t) {
  AtThreadExit(SignalReleased, nullptr);
  ThreadSlotGet(0);
  TextAreaReserve(100);
  AtThreadExit(HoldRelease, nullptr);
  return 0;
}

TEST(ThreadExit, AReleaseStillPendingAtShutdownFreesSafelyAfterIt) {
  HeldRelease held;
  g_held = &held;
  ASSERT_GT(ThreadStart(WorkerEndingAtShutdown, 0), 0);
  ASSERT_EQ(WaitForSingleObject(held.holding.get(), 10000), WAIT_OBJECT_0);
  RuntimeShutdown();
  SetEvent(held.go.get());
  EXPECT_EQ(WaitForSingleObject(held.done.get(), 10000), WAIT_OBJECT_0);
  RuntimeStartup();
}

}  // namespace
