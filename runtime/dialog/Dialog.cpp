// Dialog layer start-up and the choice of a dialog's owner.
#include "Dialog.h"

#include <commctrl.h>
#include <objbase.h>

namespace {

bool IsOurs(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId();
}

}  // namespace

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
  if (!foreground || !IsOurs(foreground)) return nullptr;
  // A hidden foreground window is a dialog on its way out (the platform can
  // go on reporting it until it is destroyed). A box owned by it would not be
  // shown at all, so the visible window that owns it takes its place.
  HWND owner = foreground;
  while (owner && !IsWindowVisible(owner)) owner = GetWindow(owner, GW_OWNER);
  return owner;
}
