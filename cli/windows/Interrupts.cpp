#include "cli/Platform.h"
#include "cli/ResultText.h"
#include "cli/windows/ConsoleCodePage.h"

#include <windows.h>

#include <thread>

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

// The system ends the process as soon as the caller returns: it waits here
// while the runs stop and main ends the process itself.
void InterruptBeforeTheEnd() {
  Interrupt();
  Sleep(INFINITE);
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
      InterruptBeforeTheEnd();
      return TRUE;
    default:
      return FALSE;
  }
}

// A program that loads user32 (fwupload does, as do shell32 and setupapi)
// is not told of a logoff or a shutdown by its console: the system asks its
// top-level windows instead, and ends it once they have answered. A hidden
// window, served by a thread of its own, takes the session's end as a closed
// console. (A message-only window would not be asked.)
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) InterruptBeforeTheEnd();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The window lives as long as the process; without one (no desktop to make
// it on), fwupload runs on and the system ends it with the session.
void ServeSessionEnd() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = OnSessionMessage;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"fwupload session end";
  if (!RegisterClassW(&windowClass)) return;
  if (!CreateWindowExW(0, windowClass.lpszClassName, L"fwupload", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                       windowClass.hInstance, nullptr))
    return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

}  // namespace

void CatchInterrupts(std::atomic<bool>& interrupted) {
  g_interrupted = &interrupted;
  // A process started in a new process group inherits Ctrl+C switched off;
  // fwupload always takes it.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  std::thread(ServeSessionEnd).detach();
}

}  // namespace fwu::cli
