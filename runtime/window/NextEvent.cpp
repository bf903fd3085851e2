// Handing out events: queued ones first, then one platform message of the
// calling thread, translated and dispatched. An event that a message queues
// while NextEvent waits ends the wait (WM_NULL, which gives 0), so the next
// call hands it out.
#include "runtime/window/WindowInternal.h"

#include "runtime/base/ScopeExit.h"

namespace {

// Wakes for every kind of input, posted messages included.
constexpr DWORD kWakeMask = QS_ALLINPUT | QS_ALLPOSTMESSAGE;

// One message of the calling thread. -1 waits in GetMessageW, 0 only looks,
// more than 0 waits up to that many milliseconds. Sent messages are served
// while waiting in either way.
bool RetrieveMessage(int timeout, MSG& message) {
  if (timeout == -1) return GetMessageW(&message, nullptr, 0, 0) != -1;
  if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return true;
  if (timeout <= 0) return false;
  if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout), kWakeMask) == WAIT_TIMEOUT)
    return false;
  return PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD);
}

bool RetrieveMessageWaking(int timeout, MSG& message) {
  if (timeout == 0) return RetrieveMessage(timeout, message);
  EventWaitBegin();
  auto waited = scope_exit(EventWaitEnd);
  return RetrieveMessage(timeout, message);
}

bool ModifierHeld() {
  return GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0;
}

void TranslateAndDispatch(MSG& message) {
  HWND active = nullptr;
  HACCEL accelerators = ActiveAccelerators(&active);
  if (ModifierHeld()) ShowKeyboardCues(active);
  if (accelerators && TranslateAcceleratorW(active, accelerators, &message)) {
    ShowKeyboardCues(active);
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

int NextEvent(int timeout) {
  if (std::optional<int> code = TakeQueuedEvent()) return *code;
  MSG message{};
  if (!RetrieveMessageWaking(timeout, message)) return 0;
  TranslateAndDispatch(message);
  return static_cast<int>(message.message);
}
