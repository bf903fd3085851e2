// The window procedure of every window of this layer: platform messages
// become events on the queue of the window's thread, which runs it.
#include "runtime/window/WindowInternal.h"

#include <atomic>
#include <optional>

namespace {

std::atomic<ControlMessageHandler> g_controlHandler{nullptr};

void Queue(int code, std::int64_t object, std::int64_t window, std::int64_t type = 0) {
  EventPush(code, object, window, type, 0, nullptr, 0);
}

void OnCommand(std::int64_t number, WPARAM wParam, LPARAM lParam) {
  if (lParam) {
    auto control = reinterpret_cast<HWND>(lParam);
    LRESULT ignored = 0;
    if (OfferToControlHandler(control, WM_COMMAND, wParam, lParam, &ignored)) return;
    Queue(kControlEvent, GetWindowLongPtrW(control, GWLP_ID), number, HIWORD(wParam));
    return;
  }
  if (HIWORD(wParam) == 0) {  // a menu
    Queue(kMenuEvent, static_cast<std::int64_t>(wParam), number);
    return;
  }
  switch (LOWORD(wParam)) {  // an accelerator
    case kTabCommand: FocusNext(true); break;
    case kShiftTabCommand: FocusNext(false); break;
    default: Queue(kMenuEvent, LOWORD(wParam), number); break;
  }
}

LRESULT OfferOrDefault(HWND control, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (control && OfferToControlHandler(control, message, wParam, lParam, &result)) return result;
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND NotifyingControl(LPARAM lParam) {
  auto* header = reinterpret_cast<const NMHDR*>(lParam);
  return header ? header->hwndFrom : nullptr;
}

void OnActivate(HWND window, std::int64_t number, bool activated) {
  if (activated) {
    HWND focus = RememberedFocus(window);
    if (focus && (focus == window || IsChild(window, focus))) SetFocus(focus);
    Queue(kActivatedEvent, 0, number);
  } else {
    RememberFocus(window, GetFocus());
    HideKeyboardCues(window);
    Queue(kDeactivatedEvent, 0, number);
  }
}

bool IsReady(std::int64_t number) {
  return Windows().With(number, [](const WindowRecord& record) { return record.ready; }).value_or(false);
}

void QueueSized(std::int64_t number) {
  EventsRemove(kSizedEvent, -1, number, -1);
  Queue(kSizedEvent, 0, number);
}

// Notes a size change in the record: whether the window was minimized or
// maximized before; nothing while it is not ready.
std::optional<bool> NoteSizeChange(std::int64_t number, WPARAM kind) {
  auto note = [kind](WindowRecord& record) -> std::optional<bool> {
    if (!record.ready) return std::nullopt;
    bool was = record.sized;
    if (kind == SIZE_MINIMIZED || kind == SIZE_MAXIMIZED) record.sized = true;
    if (kind == SIZE_RESTORED) record.sized = false;
    return was;
  };
  return Windows().With(number, note).value_or(std::nullopt);
}

void OnSize(std::int64_t number, WPARAM kind) {
  std::optional<bool> wasSized = NoteSizeChange(number, kind);
  if (!wasSized) return;
  switch (kind) {
    case SIZE_MINIMIZED: Queue(kMinimizedEvent, 0, number); break;
    case SIZE_MAXIMIZED:
      Queue(kMaximizedEvent, 0, number);
      Queue(kSizedEvent, 0, number);
      break;
    case SIZE_RESTORED:
      if (*wasSized) Queue(kRestoredEvent, 0, number);
      QueueSized(number);
      break;
    default: QueueSized(number); break;
  }
}

// Fills the client area with the window's brush; false when it has none.
bool PaintBackground(HWND window, std::int64_t number, HDC dc) {
  // The brush is used under the lock: another thread may replace it.
  return Windows()
      .With(number,
            [&](const WindowRecord& record) {
              if (!record.brush) return false;
              RECT client{};
              GetClientRect(window, &client);
              FillRect(dc, &client, record.brush.get());
              return true;
            })
      .value_or(false);
}

BOOL CALLBACK PassSysColorChange(HWND child, LPARAM) {
  SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

// Everything the window holds goes with it: properties, waiting events and
// the record with its brush and accelerator table.
void ReleaseWindow(HWND window, std::int64_t number) {
  RemoveWindowProperties(window);
  ForgetCurrentContainer(window);
  EventsRemove(-1, -1, number, -1);
  // Destroyed after the registry's lock is dropped.
  Windows().Take(number, [window](const WindowRecord& record) { return record.handle == window; });
}

}  // namespace

bool OfferToControlHandler(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  ControlMessageHandler handler = g_controlHandler;
  return handler && handler(control, message, wParam, lParam, result);
}

void WindowSetControlHandler(ControlMessageHandler handler) { g_controlHandler = handler; }

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::int64_t number = OwnWindowNumber(window);
  if (number == -1) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CLOSE: Queue(kCloseEvent, number, number); return 0;
    case WM_COMMAND: OnCommand(number, wParam, lParam); return 0;
    case WM_NOTIFY: return OfferOrDefault(NotifyingControl(lParam), window, message, wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return OfferOrDefault(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
    case WM_ACTIVATE: OnActivate(window, number, LOWORD(wParam) != WA_INACTIVE); return 1;
    case WM_MOVE:
      if (IsReady(number)) Queue(kMovedEvent, number, number);
      return 0;
    case WM_SIZE: OnSize(number, wParam); return 0;
    case WM_ERASEBKGND: {
      bool painted = PaintBackground(window, number, reinterpret_cast<HDC>(wParam));
      Queue(kRepaintEvent, 0, number);
      return painted ? 1 : DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_TIMER: Queue(kTimerEvent, static_cast<std::int64_t>(wParam), number); return 0;
    case WM_LBUTTONUP: Queue(kLeftClickEvent, 0, number); return 0;
    case WM_LBUTTONDBLCLK: Queue(kLeftDoubleClickEvent, 0, number); return 0;
    case WM_RBUTTONUP: Queue(kRightClickEvent, 0, number); return 0;
    case WM_SYSCOLORCHANGE: EnumChildWindows(window, PassSysColorChange, 0); break;
    case WM_NCDESTROY:
      ReleaseWindow(window, number);
      DefWindowProcW(window, message, wParam, lParam);
      return 1;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
