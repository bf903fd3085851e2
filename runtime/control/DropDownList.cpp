// Drop-down list: a "ComboBox" whose closed box is exactly the height asked,
// with items appended in call order and the selection change as an event.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"
#include "runtime/thread/Thread.h"

#include <shlwapi.h>

namespace {

constexpr int kSelectionFieldItemHeight = 15;

// Whether the common controls draw themed: version 6 or later of comctl32
// with the application themed.
bool CommonControlsThemed() {
  DWORD version = 1;
  if (HMODULE comctl = GetModuleHandleW(L"comctl32.dll")) {
    if (auto get = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")))) {
      DLLVERSIONINFO info{sizeof(DLLVERSIONINFO), 0, 0, 0, 0};
      if (SUCCEEDED(get(&info))) version = info.dwMajorVersion * 65536 + info.dwMinorVersion;
    }
  }
  UniqueModule uxtheme(LoadLibraryW(L"uxtheme.dll"));
  if (!uxtheme) return false;
  using IsAppThemedProc = BOOL(WINAPI*)();
  auto isThemed =
      reinterpret_cast<IsAppThemedProc>(reinterpret_cast<void*>(GetProcAddress(uxtheme.get(), "IsAppThemed")));
  return isThemed && isThemed() && version >= 0x60000;
}

// The platform takes a combo box's creation height as its height with the
// list open.
int CreationHeight(int height) {
  static const bool themed = CommonControlsThemed();
  return height + (themed ? 30 : 350);
}

// Sizes the selection field so that the closed box is `height` tall.
void FitClosedHeight(HWND window, int height) {
  SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kSelectionFieldItemHeight);
  RECT outer{};
  GetWindowRect(window, &outer);
  int frame = (outer.bottom - outer.top) - kSelectionFieldItemHeight;
  SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - frame);
}

std::wstring ItemText(HWND window, LRESULT index) {
  if (index < 0) return {};
  LRESULT length = SendMessageW(window, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  auto* buffer =
      static_cast<wchar_t*>(TextAreaReserve((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
  if (!buffer) return {};
  buffer[0] = L'\0';
  SendMessageW(window, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
  buffer[length] = L'\0';
  return std::wstring(buffer);
}

// While a selection change is being reported the window text may still be
// the old one, so the selected item is read instead.
std::wstring GetText(const ControlRef& control) {
  if (control.As<DropDownState>().reportingSelection.load())
    return ItemText(control.window, SendMessageW(control.window, CB_GETCURSEL, 0, 0));
  return WindowTextOf(control.window);
}

void SetText(const ControlRef& control, const wchar_t* text) {
  LRESULT index = -1;
  if (*text) {
    index = SendMessageW(control.window, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    if (index == CB_ERR) return;
  }
  SendMessageW(control.window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void SetState(const ControlRef& control, std::int32_t value) {
  SendMessageW(control.window, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

std::int64_t AddItem(const ControlRef& control, int position, const wchar_t* text) {
  if (position >= -1)
    SendMessageW(control.window, CB_INSERTSTRING, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text));
  return 1;
}

// Takes every notification; only a selection change makes an event.
bool Notification(const ControlRef& control, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  if (message != WM_COMMAND) return false;
  if (HIWORD(wParam) == CBN_SELCHANGE) {
    auto& reporting = control.As<DropDownState>().reportingSelection;
    reporting.store(true);
    ControlEventPush(control, kControlChange);
    reporting.store(false);
  }
  *result = 0;
  return true;
}

constexpr ControlKind kDropDownList{8, Notification, nullptr, SetState, GetText, SetText, AddItem};

}  // namespace

std::int64_t DropDownListCreate(std::int64_t number, int x, int y, int width, int height, std::uint32_t) {
  const ControlWindow design{L"ComboBox",
                           WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_GROUP | WS_TABSTOP | CBS_DROPDOWNLIST,
                           0,
                           nullptr,
                           CreationHeight(height),
                           -1};
  HWND window = ControlWindowCreate(design, x, y, width);
  if (!window) return 0;
  std::optional<ControlRef> control = ControlRegister(
      number, window, kDropDownList, MakeControlState<DropDownState>());
  if (!control) return 0;
  FitClosedHeight(window, height);
  return ControlCreationResult(number, *control);
}
