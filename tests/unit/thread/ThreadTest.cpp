#include "runtime/Runtime.h"
#include "runtime/base/UniqueHandle.h"
#include "runtime/thread/Thread.h"
#include "tests/support/FailingAllocations.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <vector>

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

std::atomic<HANDLE> g_self{nullptr};

// Keeps a handle of its own thread, so that the test can read the exit code.
std::int64_t ReturnWithOwnHandle(std::int64_t argument) {
  g_self = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentThreadId());
  return argument;
}

TEST(Thread, ExitCodeIsTheProcedureResult) {
  ASSERT_GT(ThreadStart(ReturnWithOwnHandle, 4242), 0);
  ASSERT_TRUE(WaitUntil([] { return g_self.load() != nullptr; }));
  UniqueKernelHandle thread(g_self.exchange(nullptr));
  ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, 4242u);
}

// Points the program's import of `function` from `dll` at `replacement` and
// gives the address it held; null when the program does not import it.
void* ReplaceImport(const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); module->Name; ++module) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + module->Name), dll) != 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; name->u1.AddressOfData; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function) != 0)
        continue;
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
      auto* original = reinterpret_cast<void*>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONGLONG>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      return original;
    }
  }
  return nullptr;
}

// What the delays ask of the platform, seen through the program's imports.
using TimeBeginPeriodProc = MMRESULT(WINAPI*)(UINT);
using SleepProc = void(WINAPI*)(DWORD);
TimeBeginPeriodProc g_timeBeginPeriod = nullptr;
SleepProc g_sleep = nullptr;
std::vector<UINT> g_periods;
std::vector<DWORD> g_sleeps;  // of the test's thread
DWORD g_testThread = 0;

MMRESULT WINAPI RecordPeriod(UINT period) {
  g_periods.push_back(period);
  return g_timeBeginPeriod(period);
}

void WINAPI RecordSleep(DWORD milliseconds) {
  if (GetCurrentThreadId() == g_testThread) g_sleeps.push_back(milliseconds);
  g_sleep(milliseconds);
}

TEST(FreshProcess, DISABLED_FirstDelayRaisesTheTimerResolutionAndZeroYields) {
  ASSERT_FALSE(TimerResolutionRaised()) << "no delay before this one";
  g_testThread = GetCurrentThreadId();
  g_timeBeginPeriod = reinterpret_cast<TimeBeginPeriodProc>(ReplaceImport("winmm.dll", "timeBeginPeriod",
                                                                     reinterpret_cast<void*>(RecordPeriod)));
  g_sleep = reinterpret_cast<SleepProc>(ReplaceImport("kernel32.dll", "Sleep", reinterpret_cast<void*>(RecordSleep)));
  ASSERT_TRUE(g_timeBeginPeriod && g_sleep);
  DelayMs(0);
  DelayMs(1);
  DelayMs(0);
  ReplaceImport("winmm.dll", "timeBeginPeriod", reinterpret_cast<void*>(g_timeBeginPeriod));
  ReplaceImport("kernel32.dll", "Sleep", reinterpret_cast<void*>(g_sleep));
  EXPECT_EQ(g_periods, std::vector<UINT>{1}) << "1 ms, asked once, by the first delay";
  EXPECT_EQ(g_sleeps, (std::vector<DWORD>{0, 1, 0})) << "a zero delay gives up the time slice";
  EXPECT_TRUE(TimerResolutionRaised());
}

TEST(Delay, FirstDelayRaisesTheTimerResolutionAndZeroYields) {
  EXPECT_TRUE(PassesInFreshProcess("FirstDelayRaisesTheTimerResolutionAndZeroYields"));
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

std::atomic<int> g_textAreaOutcome{0};

// Enters a text area and asks for room with no memory to be had: 1 when both
// give nothing without throwing.
std::int64_t EnterWithoutMemory(std::int64_t) {
  FailingAllocations noMemory;
  try {
    TextAreaEnter();
    g_textAreaOutcome = TextAreaReserve(16) == nullptr ? 1 : 2;
  } catch (...) {
    g_textAreaOutcome = 3;
  }
  return 0;
}

TEST(Thread, WithoutMemoryAStartGivesZeroAndATextAreaNothingAndNeitherThrows) {
  std::int64_t number = -1;
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(number = ThreadStart(ReturnAtOnce, 1));
  }
  EXPECT_EQ(number, 0);
  ASSERT_GT(ThreadStart(EnterWithoutMemory, 0), 0);
  ASSERT_TRUE(WaitUntil([] { return g_textAreaOutcome != 0; }));
  EXPECT_EQ(g_textAreaOutcome, 1);
}

// No exception leaves a thread's entry: a procedure that runs out of memory
// ends its thread with 0, and the process goes on.
std::int64_t AllocateWithoutMemory(std::int64_t) {
  FailingAllocations noMemory;
  return static_cast<std::int64_t>(std::vector<int>(1000).size());
}

TEST(Thread, AProcedureThatRunsOutOfMemoryEndsOnlyItsThread) {
  std::int64_t number = ThreadStart(AllocateWithoutMemory, 0);
  ASSERT_NE(number, 0);
  EXPECT_TRUE(WaitUntil([&] { return ThreadIsRunning(number) == 0; }));
}

// In a process of its own: the order of the exit pairs is counted from the
// process's start.
TEST(FreshProcess, DISABLED_AWorkersTextAreaIsReleasedAfterItEndsOnAnotherThread) {
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

TEST(ThreadExit, AWorkersTextAreaIsReleasedAfterItEndsOnAnotherThread) {
  EXPECT_TRUE(PassesInFreshProcess("AWorkersTextAreaIsReleasedAfterItEndsOnAnotherThread"));
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

// In a process of its own: a slot once reserved stays for the process, and
// its init and end run for every later thread.
TEST(FreshProcess, DISABLED_SlotsStartFromTheirInitAndEndAfterTheThread) {
  g_offset = ThreadSlotReserve(sizeof(Counter), InitSlot, EndSlot);
  EXPECT_EQ(g_offset % 8, 0u);
  EXPECT_EQ(g_inits, 1) << "init runs on the reserving thread's block at once";
  EXPECT_EQ(static_cast<Counter*>(ThreadSlotGet(g_offset))->value, 7);

  ThreadStart(ReadSlot, 0);
  ASSERT_TRUE(WaitUntil([] { return g_ends == 1; }));
  EXPECT_EQ(g_seen, 7);
  EXPECT_EQ(g_inits, 2);
}

TEST(ThreadBlock, SlotsStartFromTheirInitAndEndAfterTheThread) {
  EXPECT_TRUE(PassesInFreshProcess("SlotsStartFromTheirInitAndEndAfterTheThread"));
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
