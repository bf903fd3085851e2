// From WindowOpen's flags to the platform's styles, show command and place.
#include "runtime/window/WindowInternal.h"

#include <algorithm>

namespace {

// Flags that, alone, still give a window a caption.
constexpr std::uint32_t kPlainFlags = kWindowCentreScreen | kWindowCentreParent | kWindowNoContainer | kWindowHidden;
// A tool window has no minimize or maximize box and does not start minimized
// or maximized.
constexpr std::uint32_t kToolWindowMask = 0xDEFCFFFF;
// The flag bits that are not platform styles.
constexpr std::uint32_t kLayerBitsMask = 0xFDFFFFF8;

struct Box {
  int x, y, width, height;
};

Box WindowBox(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace

WindowStyle WindowStyleFromFlags(std::uint32_t flags) {
  WindowStyle result;
  std::uint32_t style = flags;
  if (flags & kWindowTool) {
    result.exStyle = WS_EX_TOOLWINDOW;
    style = (style & kToolWindowMask) | WS_CAPTION;
  }
  if ((flags & ~kPlainFlags) == 0) style |= WS_CAPTION;
  result.show = !(flags & kWindowHidden);
  result.activate = !(flags & kWindowNoActivate);
  result.style = style & ~(kWindowNoContainer | kWindowHidden) & kLayerBitsMask;
  return result;
}

int ShowCommandOf(const WindowStyle& style) {
  if (style.style & WS_MAXIMIZE) return style.activate ? SW_SHOWMAXIMIZED : SW_SHOWNA;
  if (style.style & WS_MINIMIZE) return style.activate ? SW_SHOWMINIMIZED : SW_SHOWMINNOACTIVE;
  return style.activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE;
}

void CentreWindow(HWND window, std::uint32_t flags, HWND parent) {
  Box box = WindowBox(window);
  int x = 0;
  int y = 0;
  if (flags & kWindowCentreScreen) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    x = (screenWidth - std::min(box.width, screenWidth)) / 2;
    y = (screenHeight - std::min(box.height, screenHeight)) / 2;
  } else {
    HWND reference = parent ? parent : GetActiveWindow();
    // With nothing to centre on the window stays where it was made.
    if (!reference || reference == window) return;
    Box around = WindowBox(reference);
    x = std::max(0, around.x + (around.width - box.width) / 2);
    y = std::max(0, around.y + (around.height - box.height) / 2);
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
