// Processor time of an open, idle window over 5 s: the updater's waiting event
// loop next to a loop that polls NextEvent(0) without pause.
#include "app/EventLoop.h"
#include "runtime/Runtime.h"
#include "runtime/window/Window.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr ULONGLONG kSpanMs = 5000;

double ThreadSeconds() {
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// Share of one core used by the calling thread while `timeout` polls run for
// kSpanMs.
double CoreShare(int timeout) {
  double before = ThreadSeconds();
  ULONGLONG start = GetTickCount64();
  while (GetTickCount64() - start < kSpanMs) NextEvent(timeout);
  return (ThreadSeconds() - before) / (static_cast<double>(kSpanMs) / 1000.0);
}

}  // namespace

int main() {
  RuntimeStartup();
  std::int64_t window = WindowOpen(-1, 0, 0, 400, 200, L"Update firmware 1.0", 0xC80003, nullptr);
  WindowSetColour(window, ColourFromRgb(42, 42, 42));
  double waiting = CoreShare(kIdleWaitMs);
  double polling = CoreShare(0);
  std::printf("idle window, 5 s: waiting loop %.2f %% of one core, NextEvent(0) loop %.2f %% (goal: under 1 %%)\n",
              waiting * 100.0, polling * 100.0);
  RuntimeShutdown();
  return 0;
}
