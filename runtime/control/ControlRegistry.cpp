// The control registry: start-up and end, registration of new controls,
// look-ups by number and by window, and freeing.
#include "runtime/control/Control.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/control/ControlRecord.h"
#include "runtime/registry/ObjectRegistry.h"
#include "runtime/window/Window.h"

#include <commctrl.h>

namespace {

using ControlRegistry = ObjectRegistry<ControlRecord>;

NeverDestroyed<ControlRegistry> g_controls(50, 50, ControlFree);
HFONT g_defaultFont = nullptr;

// Each control carries its number + 1, so that number 0 differs from none.
constexpr wchar_t kControlProperty[] = L"fwu.control";

ControlRef RefOf(std::int64_t number, const ControlRecord& record) {
  return ControlRef{number, record.handle, record.kind, record.state};
}

// The window layer offers a control's messages here; the kind sees them only
// while the control's identifier still is its number.
bool OfferToKind(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  std::optional<ControlRef> control = ControlOfWindow(window);
  if (!control || !control->kind->message) return false;
  return control->kind->message(*control, message, wParam, lParam, result);
}

std::optional<std::int64_t> PropertyNumberOf(HWND window) {
  auto value = reinterpret_cast<std::intptr_t>(GetPropW(window, kControlProperty));
  if (value == 0) return std::nullopt;
  return static_cast<std::int64_t>(value) - 1;
}

}  // namespace

void ControlStartup() {
  g_defaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), 0xB48};
  InitCommonControlsEx(&classes);
  WindowSetControlHandler(OfferToKind);
}

void ControlShutdown() {
  g_controls->CloseAll();
}

std::optional<ControlRef> ControlRegister(std::int64_t number, HWND window, const ControlKind& kind,
                                          std::shared_ptr<ControlState> state) {
  // The record is filled and the window tied to it under the registry's lock,
  // so no look-up sees one without the other.
  std::optional<ControlRef> control;
  auto fill = [&](ControlRecord& record, std::int64_t obtained) {
    record = ControlRecord{window, &kind, nullptr, std::move(state)};
    SetPropW(window, kControlProperty, reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(obtained + 1)));
    SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(obtained));
    record.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProcedure)));
    control = RefOf(obtained, record);
  };
  if (!state || !g_controls->Obtain(number, fill)) {
    DestroyWindow(window);
    return std::nullopt;
  }
  HFONT font = CurrentContainerFont();
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : g_defaultFont), TRUE);
  return control;
}

std::int64_t ControlCreationResult(std::int64_t numberAsked, const ControlRef& control) {
  if (numberAsked == ControlRegistry::kAny) return control.number;
  return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(control.window));
}

std::optional<ControlRef> ControlLookup(std::int64_t number) {
  return g_controls->With(number, [number](const ControlRecord& record) { return RefOf(number, record); });
}

std::optional<ControlRef> ControlOfWindow(HWND window) {
  std::optional<std::int64_t> number = PropertyNumberOf(window);
  if (!number || GetWindowLongPtrW(window, GWLP_ID) != *number) return std::nullopt;
  std::optional<ControlRef> control = ControlLookup(*number);
  if (!control || control->window != window) return std::nullopt;
  return control;
}

WNDPROC ControlPreviousProcedure(HWND window) {
  std::optional<std::int64_t> number = PropertyNumberOf(window);
  if (!number) return nullptr;
  auto previous = [window](const ControlRecord& record) { return record.handle == window ? record.previous : nullptr; };
  return g_controls->With(*number, previous).value_or(nullptr);
}

void ControlForget(HWND window) {
  std::optional<std::int64_t> number = PropertyNumberOf(window);
  RemovePropW(window, kControlProperty);
  SetWindowLongPtrW(window, GWLP_ID, -1);
  if (!number) return;
  EventsRemove(kControlEvent, *number, -1, -1);
  // Taken out under the lock, destroyed (with what the kind made) after it.
  g_controls->Take(*number, [window](const ControlRecord& record) { return record.handle == window; });
}

void ControlFree(std::int64_t number) {
  if (number == ControlRegistry::kAny) {
    g_controls->CloseAll();
    return;
  }
  if (std::optional<ControlRef> control = ControlLookup(number)) DestroyWindow(control->window);
}

HWND ControlHandle(std::int64_t number) {
  std::optional<ControlRef> control = ControlLookup(number);
  return control ? control->window : nullptr;
}

void ControlEventPush(const ControlRef& control, std::int64_t type) {
  EventPush(kControlEvent, control.number, WindowNumberOf(control.window), type, 0, nullptr, 0);
}

HWND ControlWindowCreate(const ControlWindow& design, int x, int y, int width) {
  return CreateWindowExW(design.extendedStyle, design.className, design.text ? design.text : L"", design.style, x, y,
                         width, design.creationHeight, CurrentContainerWindow(),
                         reinterpret_cast<HMENU>(design.childIdentifier), GetModuleHandleW(nullptr), nullptr);
}
