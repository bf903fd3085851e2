#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/windows/ConsoleCodePage.h"

#include <windows.h>

namespace fwu::cli {
namespace {

// Set once, before the handler is installed; the handler runs on a thread of
// the system's.
std::atomic<bool>* g_interrupted = nullptr;

// A second interrupt: the person will not wait for the runs to stop. The
// process ends here, without the C library's exit, which could wait on a lock
// a stalled output holds; the system closes the ports with it.
void EndAtOnce() {
  RestoreConsoleCodePage();
  TerminateProcess(GetCurrentProcess(), kExitInterrupted);  // does not return
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (g_interrupted->exchange(true)) EndAtOnce();
  return TRUE;
}

}  // namespace

void CatchInterrupts(std::atomic<bool>& interrupted) {
  g_interrupted = &interrupted;
  // A process started in a new process group inherits Ctrl+C switched off;
  // fwupload always takes it.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace fwu::cli
