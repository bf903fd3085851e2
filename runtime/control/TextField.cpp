// Text field: an "Edit" with a focus reporter in front of it and optional
// colours. Its notifications (EN_CHANGE and the others) are left to the
// window layer, which queues them with the notification code as the type.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"

namespace {

// The "Edit" class procedure the focus reporter forwards to; set by the
// creating thread.
WNDPROC g_editProcedure = nullptr;

LRESULT CALLBACK FocusReporter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
    if (std::optional<ControlRef> control = ControlOfWindow(window))
      ControlEventPush(*control, message == WM_SETFOCUS ? kControlFocusGained : kControlFocusLost);
  }
  return CallWindowProcW(g_editProcedure, window, message, wParam, lParam);
}

// Applies the colours set, if any, to the field's device context.
bool Colour(const ControlRef& control, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  bool editable = message == WM_CTLCOLOREDIT;
  if (!editable && !(message == WM_CTLCOLORSTATIC && IsWindowEnabled(control.window))) return false;
  auto& state = control.As<TextFieldState>();
  if (state.text == -1 && state.background == -1) return false;
  auto dc = reinterpret_cast<HDC>(wParam);
  if (state.text != -1) SetTextColor(dc, static_cast<COLORREF>(state.text));
  if (state.background != -1) {
    SetBkColor(dc, static_cast<COLORREF>(state.background));
    *result = reinterpret_cast<LRESULT>(state.backgroundBrush.get());
  } else {
    int system = editable ? COLOR_WINDOW : COLOR_BTNFACE;
    SetBkColor(dc, GetSysColor(system));
    *result = reinterpret_cast<LRESULT>(GetSysColorBrush(system));
  }
  return true;
}

constexpr ControlKind kTextField{2, Colour, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

std::int64_t TextFieldCreate(std::int64_t number, int x, int y, int width, int height, const wchar_t* text,
                             std::uint32_t flags) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL | (flags & ~kTextFieldFlat);
  const ControlWindow design{L"Edit", style, (flags & kTextFieldFlat) ? 0u : WS_EX_CLIENTEDGE, text, height, -1};
  HWND window = ControlWindowCreate(design, x, y, width);
  if (!window) return 0;
  g_editProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FocusReporter)));
  std::optional<ControlRef> control = ControlRegister(
      number, window, kTextField, MakeControlState<TextFieldState>());
  return control ? ControlCreationResult(number, *control) : 0;
}

void TextFieldSetColours(std::int64_t number, std::int32_t text, std::int32_t background) {
  std::optional<ControlRef> control = ControlLookup(number);
  if (!control || control->kind != &kTextField) return;
  auto& state = control->As<TextFieldState>();
  state.text = text;
  state.background = background;
  state.backgroundBrush.reset(background == -1 ? nullptr : CreateSolidBrush(static_cast<COLORREF>(background)));
  InvalidateRect(control->window, nullptr, TRUE);
}
