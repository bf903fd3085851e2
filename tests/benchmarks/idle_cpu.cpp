// Processor time the process spends while the updater window stands idle:
// the updater's event loop against a loop that polls NextEvent(0).
#include "app/EventDispatcher.h"
#include "app/EventLoop.h"
#include "app/UpdaterState.h"
#include "app/WindowBuilder.h"
#include "runtime/Runtime.h"
#include "runtime/window/Window.h"

#include <windows.h>

#include <cstdio>
#include <thread>

namespace {

constexpr DWORD kMeasureMs = 5000;
constexpr double kGoalPercent = 1.0;

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Runs `loop` until a close request, made after kMeasureMs, ends it; gives
// the processor time used as a percentage of one core.
template <class Loop>
double MeasureIdle(Loop loop) {
  HWND window = WindowHandle(g_updater.window);
  std::thread closer([window] {
    Sleep(kMeasureMs);
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  double before = ProcessCpuSeconds();
  ULONGLONG start = GetTickCount64();
  loop();
  double used = ProcessCpuSeconds() - before;
  double elapsed = static_cast<double>(GetTickCount64() - start) / 1000.0;
  closer.join();
  return 100.0 * used / elapsed;
}

void PollingLoop() {
  while (DispatchEvent(NextEvent(0))) {
  }
}

}  // namespace

int main() {
  RuntimeStartup();
  BuildUpdaterWindow(0, 0, 400, 200);
  double waiting = MeasureIdle(RunEventLoop);
  double polling = MeasureIdle(PollingLoop);
  std::printf("idle_cpu: processor time of the idle updater window over %lu ms (goal < %.1f %% of one core)\n",
              static_cast<unsigned long>(kMeasureMs), kGoalPercent);
  std::printf("  event loop (waiting NextEvent): %6.2f %%  %s\n", waiting, waiting < kGoalPercent ? "ok" : "OVER");
  std::printf("  polling loop (NextEvent(0)):    %6.2f %%\n", polling);
  RuntimeShutdown();
  return waiting < kGoalPercent ? 0 : 1;
}
