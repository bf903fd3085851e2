// Picture control: a "STATIC" with a painter of its own in front of it,
// which shows a bitmap or an icon at its own size (32-bit bitmaps with alpha
// blended over what lies below), sizes the control to the image and reports
// clicks, double clicks and the start of a drag.
#include "runtime/control/Control.h"
#include "runtime/control/ControlRecord.h"
#include "runtime/base/DeviceContext.h"
#include "runtime/base/NoMemory.h"
#include "runtime/image/Image.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// Written and read by the creating thread only.
WNDPROC g_staticProcedure = nullptr;
SIZE g_dragDistance{};

using AlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

AlphaBlendProc AlphaBlendFunction() {
  static UniqueModule msimg32(LoadLibraryW(L"msimg32.dll"));
  static auto blend = msimg32 ? reinterpret_cast<AlphaBlendProc>(
                                    reinterpret_cast<void*>(GetProcAddress(msimg32.get(), "AlphaBlend")))
                              : nullptr;
  return blend;
}

bool IsBitmap(HANDLE image) { return GetObjectType(image) == OBJ_BITMAP; }

SIZE ImageSize(HANDLE image) {
  BITMAP bitmap{};
  if (IsBitmap(image)) {
    GetObjectW(image, sizeof bitmap, &bitmap);
    return {bitmap.bmWidth, bitmap.bmHeight};
  }
  ICONINFO icon{};
  if (!GetIconInfo(static_cast<HICON>(image), &icon)) return {};
  UniqueBitmap colour(icon.hbmColor);
  UniqueBitmap mask(icon.hbmMask);
  if (colour) {
    GetObjectW(colour.get(), sizeof bitmap, &bitmap);
    return {bitmap.bmWidth, bitmap.bmHeight};
  }
  // A monochrome icon keeps image and mask one above the other.
  GetObjectW(mask.get(), sizeof bitmap, &bitmap);
  return {bitmap.bmWidth, bitmap.bmHeight / 2};
}

std::vector<RGBQUAD> PixelsOfFitting(HBITMAP bitmap, SIZE size) {
  std::vector<RGBQUAD> pixels(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  WindowDc screen(nullptr);
  if (pixels.empty() || !GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info,
                                    DIB_RGB_COLORS))
    return {};
  return pixels;
}

// The pixels of a bitmap as top-down 32-bit BGRA; none when a bitmap of its
// size could not be made or there is no memory for them. Runs inside the
// window procedure, which no exception may leave.
std::vector<RGBQUAD> PixelsOf(HBITMAP bitmap, SIZE size) {
  if (!BitmapFits(size.cx, size.cy, 32)) return {};
  return OrOnNoMemory(std::vector<RGBQUAD>(), [&] { return PixelsOfFitting(bitmap, size); });
}

// A bitmap of 32 bits per pixel is painted with its alpha: a DIB section
// always, another bitmap when some pixel's top byte is set.
bool HasAlpha(HBITMAP bitmap, SIZE size) {
  DIBSECTION section{};
  int bytes = GetObjectW(bitmap, sizeof section, &section);
  if (section.dsBm.bmBitsPixel != 32) return false;
  if (bytes == sizeof section) return true;
  for (const RGBQUAD& pixel : PixelsOf(bitmap, size))
    if (pixel.rgbReserved != 0) return true;
  return false;
}

// A copy with the colours multiplied by alpha, as AlphaBlend takes them.
UniqueBitmap PremultipliedCopy(HBITMAP bitmap, SIZE size) {
  std::vector<RGBQUAD> pixels = PixelsOf(bitmap, size);
  if (pixels.empty()) return {};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  UniqueBitmap copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!copy) return {};
  auto* out = static_cast<RGBQUAD*>(bits);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    RGBQUAD p = pixels[i];
    auto scale = [&](BYTE c) { return static_cast<BYTE>((c * p.rgbReserved + 127) / 255); };
    out[i] = {scale(p.rgbBlue), scale(p.rgbGreen), scale(p.rgbRed), p.rgbReserved};
  }
  return copy;
}

bool HasFrame(HWND window) {
  return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ||
         (GetWindowLongPtrW(window, GWL_STYLE) & WS_DLGFRAME);
}

LRESULT SetImage(const ControlRef& control, HANDLE image) {
  auto& state = control.As<PictureState>();
  state.image = image;
  state.alphaCopy.reset();
  if (!image) {
    InvalidateRect(control.window, nullptr, TRUE);
    return 0;
  }
  SIZE size = ImageSize(image);
  if (IsBitmap(image) && AlphaBlendFunction() && HasAlpha(static_cast<HBITMAP>(image), size))
    state.alphaCopy = PremultipliedCopy(static_cast<HBITMAP>(image), size);
  int frame = HasFrame(control.window) ? 4 : 0;
  SetWindowPos(control.window, nullptr, 0, 0, size.cx + frame, size.cy + frame,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(control.window, nullptr, TRUE);
  if (!state.alphaCopy) UpdateWindow(control.window);
  return reinterpret_cast<LRESULT>(image);
}

void Paint(const ControlRef& control, HDC dc) {
  const auto& state = control.As<PictureState>();
  if (!state.image) return;
  int at = (GetWindowLongPtrW(control.window, GWL_STYLE) & WS_DLGFRAME) ? -1 : 0;
  if (state.alphaCopy) {
    SIZE size = ImageSize(state.alphaCopy.get());
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    SelectedObject selected(source.get(), state.alphaCopy.get());
    AlphaBlendFunction()(dc, at, at, size.cx, size.cy, source.get(), 0, 0, size.cx, size.cy,
                         BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
    return;
  }
  UINT kind = IsBitmap(state.image) ? DST_BITMAP : DST_ICON;
  DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(state.image), 0, at, at, 0, 0, kind);
}

// Left button held and moved beyond the drag distance: a drag starts.
void TrackDrag(const ControlRef& control, LPARAM position) {
  auto& state = control.As<PictureState>();
  if (!state.leftDown) return;
  POINTS now = MAKEPOINTS(position);
  if (std::abs(now.x - state.press.x) <= g_dragDistance.cx && std::abs(now.y - state.press.y) <= g_dragDistance.cy)
    return;
  state.leftDown = false;
  ReleaseCapture();
  ControlEventPush(control, kControlDragStart);
}

// Handles what the painter takes; gives nothing for what goes on to "STATIC".
std::optional<LRESULT> Handle(const ControlRef& control, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& state = control.As<PictureState>();
  switch (message) {
    case STM_SETIMAGE:
      return SetImage(control, reinterpret_cast<HANDLE>(lParam));
    case STM_SETICON:
      return SetImage(control, reinterpret_cast<HANDLE>(wParam));
    case STM_GETIMAGE:
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(state.image);
    case WM_PAINT: {
      PaintDc dc(control.window);
      Paint(control, dc.get());
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(control, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ENABLE:
      RedrawWindow(control.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      return 0;
    case WM_LBUTTONDOWN:
      state.leftDown = true;
      state.press = MAKEPOINTS(lParam);
      SetCapture(control.window);
      return std::nullopt;
    case WM_MOUSEMOVE:
      TrackDrag(control, lParam);
      return std::nullopt;
    case WM_LBUTTONUP:
      state.leftDown = false;
      ReleaseCapture();
      return std::nullopt;
    case WM_LBUTTONDBLCLK:
      ControlEventPush(control, kControlLeftDoubleClick);
      return 0;
    case WM_RBUTTONUP:
      if (!std::exchange(state.rightDoubleClicked, false)) ControlEventPush(control, kControlRightClick);
      return 0;
    case WM_RBUTTONDBLCLK:
      state.rightDoubleClicked = true;
      ControlEventPush(control, kControlRightDoubleClick);
      return 0;
    default:
      return std::nullopt;
  }
}

LRESULT CALLBACK PicturePainter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (std::optional<ControlRef> control = ControlOfWindow(window))
    if (std::optional<LRESULT> result = Handle(*control, message, wParam, lParam)) return *result;
  return CallWindowProcW(g_staticProcedure, window, message, wParam, lParam);
}

constexpr ControlKind kPictureControl{9, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

std::int64_t PictureControlCreate(std::int64_t number, int x, int y, int width, int height, HANDLE image,
                                  std::uint32_t flags) {
  g_dragDistance = {GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)};
  DWORD style = WS_CHILD | WS_VISIBLE | SS_NOTIFY;
  DWORD extended = 0;
  if (flags & kPictureSunken)
    extended = WS_EX_CLIENTEDGE;
  else if (flags & kPictureRaised)
    style |= WS_DLGFRAME;
  HWND window = ControlWindowCreate({L"STATIC", style, extended, nullptr, height, -1}, x, y, width);
  if (!window) return 0;
  g_staticProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PicturePainter)));
  std::optional<ControlRef> control = ControlRegister(
      number, window, kPictureControl, MakeControlState<PictureState>());
  if (!control) return 0;
  SendMessageW(window, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
  return ControlCreationResult(number, *control);
}
