#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/windows/ConsoleCodePage.h"

#include <windows.h>

namespace fwu::cli {
namespace {

// How long the runs may take to stop after an interrupt before the process
// ends without them: a driver call that never returns (some do after an
// adapter is pulled) must not keep fwupload from exiting. Well inside the
// 5 s the system gives a process whose console is closed.
constexpr DWORD kStopGraceMs = 3000;

// Set once, before the handler is installed; the handler runs on a thread of
// the system's.
std::atomic<bool>* g_interrupted = nullptr;

// The person will not wait for the runs to stop, or they did not stop in
// time. The process ends here, without the C library's exit, which could wait
// on a lock a stalled output holds; the system closes the ports with it.
void EndAtOnce() {
  RestoreConsoleCodePage();
  TerminateProcess(GetCurrentProcess(), kExitInterrupted);  // does not return
}

void CALLBACK EndAfterGrace(PVOID, BOOLEAN) { EndAtOnce(); }

// The first interrupt stops the runs; the process ends by kStopGraceMs,
// normally long before, once main has shown what they did.
void Interrupt() {
  if (g_interrupted->exchange(true)) EndAtOnce();
  HANDLE timer = nullptr;
  CreateTimerQueueTimer(&timer, nullptr, EndAfterGrace, nullptr, kStopGraceMs, 0, WT_EXECUTEONLYONCE);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      Interrupt();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this returns: the handler
      // waits while the runs stop and main ends the process itself.
      Interrupt();
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
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
