#include "cli/windows/ConsoleCodePage.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace fwu::cli {
namespace {

// The code page to put back, 0 for none. Set by the main thread before it
// changes the page, as Ctrl+C is already handled then; read by the exit and by
// the console's handler thread.
std::atomic<UINT> g_previous{0};

void RestoreAtExit() { RestoreConsoleCodePage(); }

}  // namespace

void ShowUtf8OnConsole() {
  UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8) return;
  g_previous.store(previous);
  if (!SetConsoleOutputCP(CP_UTF8)) {
    g_previous.store(0);
    return;
  }
  std::atexit(RestoreAtExit);
}

void RestoreConsoleCodePage() {
  if (UINT previous = g_previous.load()) SetConsoleOutputCP(previous);
}

}  // namespace fwu::cli
