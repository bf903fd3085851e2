#include "cli/Platform.h"

#include <windows.h>

namespace fwu::cli {
namespace {

// Set once, before the handler is installed; the handler, on a thread of the
// system's, only stores to it.
std::atomic<bool>* g_interrupted = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  g_interrupted->store(true);
  return TRUE;
}

}  // namespace

void CatchInterrupts(std::atomic<bool>& interrupted) {
  g_interrupted = &interrupted;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace fwu::cli
