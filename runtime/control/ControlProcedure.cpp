// The control procedure: stands in front of every control's own procedure
// and releases the control's record when its window goes.
#include "runtime/control/ControlRecord.h"

LRESULT CALLBACK ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = ControlPreviousProcedure(window);
  LRESULT result = previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                            : DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) ControlForget(window);
  return result;
}
