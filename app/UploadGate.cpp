#include "app/UploadGate.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<bool> g_active{false};
std::atomic<bool> g_closing{false};
}  // namespace

bool UploadGateEnter() { return !g_closing && !g_active.exchange(true); }

void UploadGateLeave() { g_active = false; }

bool UploadActive() { return g_active; }

bool UploadCancelled() { return g_closing; }

void UploadGateClose(std::chrono::milliseconds limit) {
  g_closing = true;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  while (g_active && GetTickCount64() < deadline) {
    // Serves messages sent by the worker (control calls), then sleeps at most
    // a millisecond until the next one.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
  }
}
