// Focus rectangles and accelerator underlines of a window.
#include "runtime/window/WindowInternal.h"

namespace {

constexpr LRESULT kCuesHidden = UISF_HIDEFOCUS | UISF_HIDEACCEL;

void ChangeCues(HWND window, WORD action) {
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(action, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

}  // namespace

void ShowKeyboardCues(HWND window) {
  if (window && (SendMessageW(window, WM_QUERYUISTATE, 0, 0) & kCuesHidden) != 0) ChangeCues(window, UIS_CLEAR);
}

void HideKeyboardCues(HWND window) {
  if (window && (SendMessageW(window, WM_QUERYUISTATE, 0, 0) & kCuesHidden) != kCuesHidden)
    ChangeCues(window, UIS_SET);
}
