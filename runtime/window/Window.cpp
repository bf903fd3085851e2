// The window registry, opening and closing windows, and the properties that
// tie a native window to its number.
//
// Records belong to the registry and are read or written under its lock; the
// platform calls on a window run outside it, on the window's own thread.
#include "runtime/window/WindowInternal.h"

#include "runtime/base/NeverDestroyed.h"
#include "runtime/base/NoMemory.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

namespace {

constexpr std::int64_t kAnyWindow = ObjectRegistry<WindowRecord>::kAny;
// Far outside any screen: asks for the platform's default position.
constexpr int kDefaultPosition = -65535;

const wchar_t kNumberProperty[] = L"FwuWindowNumber";
const wchar_t kFocusProperty[] = L"FwuRememberedFocus";

NeverDestroyed<ObjectRegistry<WindowRecord>> g_windows(16, 16, WindowClose);
// Shared icon and cursor of every window class; the system owns them.
HICON g_icon = nullptr;
HCURSOR g_cursor = nullptr;

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

void RegisterWindowClass(const wchar_t* name) {
  WNDCLASSW windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = Module();
  windowClass.hIcon = g_icon;
  windowClass.hCursor = g_cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassW(&windowClass);  // a class of that name already there serves as well
}

UniqueAccelerators MakeTabAccelerators() {
  std::array<ACCEL, 2> entries{{
      {FVIRTKEY | FNOINVERT, VK_TAB, kTabCommand},
      {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, kShiftTabCommand},
  }};
  return UniqueAccelerators(CreateAcceleratorTableW(entries.data(), static_cast<int>(entries.size())));
}

SIZE OuterSize(int width, int height, const WindowStyle& style) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, style.style & ~DWORD{0x7}, FALSE, style.exStyle);
  return {r.right - r.left, r.bottom - r.top};
}

POINT CreationPosition(int x, int y, std::uint32_t flags) {
  bool centred = flags & (kWindowCentreScreen | kWindowCentreParent);
  if (x == kDefaultPosition || (y == kDefaultPosition && !centred)) return {CW_USEDEFAULT, CW_USEDEFAULT};
  return {x, y};
}

std::int64_t OpenWindow(std::int64_t number, int x, int y, int width, int height, const wchar_t* title,
                        std::uint32_t flags, HWND parent) {
  std::optional<std::int64_t> obtained = g_windows->Obtain(number);
  if (!obtained) return 0;
  std::int64_t id = *obtained;

  WindowClassNameText className = WindowClassName(id);
  RegisterWindowClass(className.c_str());
  WindowStyle style = WindowStyleFromFlags(flags);
  SIZE outer = OuterSize(width, height, style);
  POINT at = CreationPosition(x, y, flags);
  HWND window = CreateWindowExW(style.exStyle, className.c_str(), title ? title : L"", style.style, at.x, at.y,
                                outer.cx, outer.cy, parent, nullptr, Module(), nullptr);
  WindowRecord record;
  record.handle = window;
  // A close-all that came meanwhile cancelled the number: the window goes too.
  if (!window || !g_windows->Put(id, std::move(record))) {
    if (window) DestroyWindow(window);
    UnregisterClassW(className.c_str(), Module());
    if (!window) g_windows->Release(id);
    return 0;
  }
  SetOwnWindowNumber(window, id);

  if (flags & (kWindowCentreScreen | kWindowCentreParent)) CentreWindow(window, flags, parent);
  if (style.show) ShowWindow(window, ShowCommandOf(style));
  UniqueAccelerators accelerators = MakeTabAccelerators();
  g_windows->With(id, [&](WindowRecord& record) {
    record.accelerators = std::move(accelerators);
    record.sized = (style.style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0;
  });
  if (!(flags & kWindowNoContainer)) SetCurrentContainer(window);
  g_windows->With(id, [](WindowRecord& record) { record.ready = true; });
  return number == kAnyWindow ? id : reinterpret_cast<std::int64_t>(window);
}

}  // namespace

ObjectRegistry<WindowRecord>& Windows() { return *g_windows; }

WindowClassNameText WindowClassName(std::int64_t number) {
  static constexpr std::wstring_view kPrefix = L"WindowClass_";
  WindowClassNameText name;
  auto at = std::copy(kPrefix.begin(), kPrefix.end(), name.text.begin());
  std::array<char, 24> digits{};
  char* end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
  std::copy(digits.data(), end, at);  // the rest of the text stays 0
  return name;
}

void WindowStartup() {
  ContainerSlotReserve();
  g_icon = LoadIconW(Module(), MAKEINTRESOURCEW(1));
  g_cursor = LoadCursorW(nullptr, IDC_ARROW);
}

void WindowShutdown() {
  g_windows->CloseAll();
  g_icon = nullptr;
}

std::int64_t WindowOpen(std::int64_t number, int x, int y, int width, int height, const wchar_t* title,
                        std::uint32_t flags, HWND parent) {
  return OrOnNoMemory(std::int64_t{0}, [&] { return OpenWindow(number, x, y, width, height, title, flags, parent); });
}

void WindowClose(std::int64_t number) {
  if (number == kAnyWindow) {
    g_windows->CloseAll();
    return;
  }
  HWND window = WindowHandle(number);
  if (!window) return;
  if (HWND owner = GetWindow(window, GW_OWNER)) SetActiveWindow(owner);
  // The window procedure releases the record and the events at WM_NCDESTROY;
  // the class can go only once its window has gone.
  if (DestroyWindow(window)) UnregisterClassW(WindowClassName(number).c_str(), Module());
}

HWND WindowHandle(std::int64_t number) {
  return g_windows->With(number, [](const WindowRecord& record) { return record.handle; }).value_or(nullptr);
}

std::int64_t OwnWindowNumber(HWND window) {
  if (!window) return -1;
  auto stored = reinterpret_cast<std::intptr_t>(GetPropW(window, kNumberProperty));
  return stored ? stored - 1 : -1;
}

void SetOwnWindowNumber(HWND window, std::int64_t number) {
  // Plus one, so that window 0 differs from a window without the property.
  SetPropW(window, kNumberProperty, reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(number + 1)));
}

std::int64_t WindowNumberOf(HWND window) {
  for (HWND at = window; at; at = GetParent(at))
    if (std::int64_t number = OwnWindowNumber(at); number != -1) return number;
  return -1;
}

void RememberFocus(HWND window, HWND focus) { SetPropW(window, kFocusProperty, focus); }

HWND RememberedFocus(HWND window) { return static_cast<HWND>(GetPropW(window, kFocusProperty)); }

void RemoveWindowProperties(HWND window) {
  RemovePropW(window, kNumberProperty);
  RemovePropW(window, kFocusProperty);
}

HACCEL ActiveAccelerators(HWND* active) {
  *active = GetActiveWindow();
  std::int64_t number = OwnWindowNumber(*active);
  if (number == -1) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(*active, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  return g_windows->With(number, [](const WindowRecord& record) { return record.accelerators.get(); })
      .value_or(nullptr);
}
