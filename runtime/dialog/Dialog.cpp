// Dialog layer start-up and the choice of a dialog's owner.
#include "Dialog.h"

#include <commctrl.h>
#include <objbase.h>

void DialogStartup() {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES |
                                                   ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES};
  InitCommonControlsEx(&classes);
  // The open-file dialog needs COM on the thread that shows it: the main one.
  // Released by the process's end.
  CoInitialize(nullptr);
}

HWND DialogOwner() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}
