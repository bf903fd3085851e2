// Progress bar: a range, a position and the moving indeterminate display.
//
// Threads: the bar's window and the indeterminate flag belong to the thread
// that created it. A set state from any thread is one message to the bar, so
// the steps that move the position run on that thread one call after another.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"

#include <commctrl.h>

namespace {

constexpr WPARAM kMarqueeStepMs = 100;

// Written by the creating thread only.
WNDPROC g_progressProcedure = nullptr;

// The message that runs a set state on the bar's own thread; wParam holds the
// value.
UINT SetStateMessage() {
  static const UINT message = RegisterWindowMessageW(L"fwupdater.ProgressBar.SetState");
  return message;
}

void SetMarquee(HWND window, bool on) {
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  SetWindowLongPtrW(window, GWL_STYLE, on ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  SendMessageW(window, PBM_SETMARQUEE, on, kMarqueeStepMs);
}

// The bar is moved through a position one past the one asked, with the range
// widened for it, and then back: the themed bar then shows the position at
// once instead of animating towards it.
void SetPosition(HWND window, std::int32_t value) {
  auto low = static_cast<LPARAM>(SendMessageW(window, PBM_GETRANGE, TRUE, 0));
  auto high = static_cast<LPARAM>(SendMessageW(window, PBM_GETRANGE, FALSE, 0));
  SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(low), high + 1);
  SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(value + 1), 0);
  SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
  SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void SetStateHere(const ControlRef& control, std::int32_t value) {
  auto& state = control.As<ProgressState>();
  if (value == -1) {
    if (!state.indeterminate.exchange(true)) SetMarquee(control.window, true);
    return;
  }
  if (state.indeterminate.exchange(false)) SetMarquee(control.window, false);
  SetPosition(control.window, value);
}

// Sent, not run in place: two threads that each widen the range, set, narrow
// and set again would otherwise interleave, one narrowing to the other's
// widened range for good.
void SetState(const ControlRef& control, std::int32_t value) {
  SendMessageW(control.window, SetStateMessage(), static_cast<WPARAM>(value), 0);
}

LRESULT CALLBACK ProgressProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == SetStateMessage()) {
    if (std::optional<ControlRef> control = ControlOfWindow(window))
      SetStateHere(*control, static_cast<std::int32_t>(wParam));
    return 0;
  }
  return CallWindowProcW(g_progressProcedure, window, message, wParam, lParam);
}

std::int32_t GetState(const ControlRef& control) {
  if (control.As<ProgressState>().indeterminate) return -1;
  return static_cast<std::int32_t>(SendMessageW(control.window, PBM_GETPOS, 0, 0));
}

constexpr ControlKind kProgressBar{14, nullptr, GetState, SetState, nullptr, nullptr, nullptr};

}  // namespace

std::int64_t ProgressBarCreate(std::int64_t number, int x, int y, int width, int height, int minimum,
                               int maximum, std::uint32_t flags) {
  const ControlWindow design{PROGRESS_CLASSW, WS_CHILD | WS_VISIBLE | flags, 0, nullptr, height, 0};
  HWND window = ControlWindowCreate(design, x, y, width);
  if (!window) return 0;
  SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  g_progressProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgressProcedure)));
  std::optional<ControlRef> control = ControlRegister(
      number, window, kProgressBar, MakeControlState<ProgressState>());
  return control ? ControlCreationResult(number, *control) : 0;
}
