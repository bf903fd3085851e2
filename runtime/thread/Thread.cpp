// Thread registry and delays.
//
// The registry list belongs to whichever thread holds g_lock; entries are
// added at the front by ThreadStart and reaped there once their thread has
// ended.
#include "Thread.h"

#include "runtime/base/CriticalSection.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/base/NoMemory.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>

namespace {

struct ThreadEntry {
  UniqueKernelHandle handle;
  std::int64_t number;
};

NeverDestroyed<CriticalSection> g_lock;
NeverDestroyed<std::list<ThreadEntry>> g_threads;
std::int64_t g_nextNumber = 1;
std::atomic<bool> g_timerRaised{false};

struct Start {
  ThreadProcedure procedure;
  std::int64_t argument;
};

// No exception leaves the thread: a procedure that runs out of memory ends
// its thread with 0 instead of ending the process.
DWORD WINAPI RunThread(void* parameter) {
  std::unique_ptr<Start> start(static_cast<Start*>(parameter));
  return static_cast<DWORD>(OrOnNoMemory(std::int64_t{0}, [&] { return start->procedure(start->argument); }));
}

bool HasEnded(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

}  // namespace

void ThreadStartup() {}

void ThreadShutdown() {
  std::lock_guard guard(*g_lock);
  g_threads->clear();
}

std::int64_t ThreadStart(ThreadProcedure procedure, std::int64_t argument) {
  return OrOnNoMemory(std::int64_t{0}, [&]() -> std::int64_t {
    // Everything the start needs is allocated before the thread exists, so a
    // thread runs only when its number is handed out.
    auto start = std::make_unique<Start>(Start{procedure, argument});
    std::list<ThreadEntry> entry(1);
    entry.front().handle.reset(CreateThread(nullptr, 4096, RunThread, start.get(), 0, nullptr));
    if (!entry.front().handle) return 0;
    start.release();  // the thread owns it now

    std::lock_guard guard(*g_lock);
    g_threads->remove_if([](const ThreadEntry& ended) { return HasEnded(ended.handle.get()); });
    entry.front().number = g_nextNumber++;
    g_threads->splice(g_threads->begin(), entry);
    return g_threads->front().number;
  });
}

int ThreadIsRunning(std::int64_t number) {
  std::lock_guard guard(*g_lock);
  for (const ThreadEntry& entry : *g_threads)
    if (entry.number == number) return HasEnded(entry.handle.get()) ? 0 : 1;
  return 0;
}

std::size_t ThreadEntryCount() {
  std::lock_guard guard(*g_lock);
  return g_threads->size();
}

namespace {

// Windows 11 ignores the timer resolution of a process whose windows are
// minimized or hidden, unless the process opts out: a 1 ms delay would then
// last a whole system tick (15.6 ms). The call is missing before Windows 8 and
// refused where the flag is unknown; the delays are then as they always were.
void KeepTimerResolutionHonoured() {
  using SetInformation = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
  auto set = reinterpret_cast<SetInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
  if (!set) return;
  PROCESS_POWER_THROTTLING_STATE state{};
  state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
  state.StateMask = 0;  // controlled, and off: requests are honoured
  set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

void DelayMs(std::int64_t milliseconds) {
  if (!g_timerRaised.exchange(true)) {
    KeepTimerResolutionHonoured();
    timeBeginPeriod(1);
  }
  Sleep(static_cast<DWORD>(milliseconds));
}

bool TimerResolutionRaised() { return g_timerRaised.load(); }
