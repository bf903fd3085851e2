#include "ControlFixture.h"

#include "runtime/base/DeviceContext.h"
#include "runtime/base/UniqueHandle.h"
#include "tests/support/FailingAllocations.h"

#include <vector>

namespace {

using PictureControlTest = ControlTest;

// A top-down DIB section of `bits` bits per pixel, every pixel `pixel`
// (0xAARRGGBB; the alpha byte is ignored at 24 bits).
UniqueBitmap SolidBitmap(int width, int height, int bits, std::uint32_t pixel) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0));
  auto* row = static_cast<BYTE*>(memory);
  int stride = ((width * bits + 31) / 32) * 4;
  for (int y = 0; y < height; ++y, row += stride)
    for (int x = 0; x < width; ++x) {
      BYTE* p = row + x * (bits / 8);
      p[0] = pixel & 0xFF;
      p[1] = (pixel >> 8) & 0xFF;
      p[2] = (pixel >> 16) & 0xFF;
      if (bits == 32) p[3] = static_cast<BYTE>(pixel >> 24);
    }
  return bitmap;
}

// What the control paints over a surface filled with `below`, read at (x, y).
COLORREF PaintedOver(HWND control, COLORREF below, int x, int y) {
  WindowDc screen(nullptr);
  UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
  UniqueBitmap surface(CreateCompatibleBitmap(screen.get(), 64, 64));
  SelectedObject selected(dc.get(), surface.get());
  UniqueBrush brush(CreateSolidBrush(below));
  RECT all{0, 0, 64, 64};
  FillRect(dc.get(), &all, brush.get());
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
  return GetPixel(dc.get(), x, y);
}

bool Near(COLORREF a, COLORREF b) {
  auto close = [](int x, int y) { return x - y <= 2 && y - x <= 2; };
  return close(GetRValue(a), GetRValue(b)) && close(GetGValue(a), GetGValue(b)) && close(GetBValue(a), GetBValue(b));
}

TEST_F(PictureControlTest, TakesTheImageSizeAndPaintsItOpaque) {
  UniqueBitmap image = SolidBitmap(30, 20, 24, 0x00336699);
  std::int64_t picture = PictureControlCreate(-1, 5, 6, 400, 60, image.get(), 0);
  ASSERT_NE(picture, 0);
  HWND native = ControlHandle(picture);
  RECT r = ClientRectIn(Window(), native);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right - r.left, 30);
  EXPECT_EQ(r.bottom - r.top, 20);
  EXPECT_EQ(SendMessageW(native, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LRESULT>(image.get()));
  EXPECT_EQ(PaintedOver(native, RGB(0, 0, 255), 10, 10), RGB(0x33, 0x66, 0x99));
  EXPECT_EQ(PaintedOver(native, RGB(0, 0, 255), 40, 10), RGB(0, 0, 255));
}

TEST_F(PictureControlTest, BlendsA32BitImageWithAlphaOverWhatIsBelow) {
  UniqueBitmap half = SolidBitmap(16, 16, 32, 0x80FF0000);  // red, alpha 128
  std::int64_t picture = PictureControlCreate(-1, 0, 0, 16, 16, half.get(), 0);
  HWND native = ControlHandle(picture);
  EXPECT_TRUE(Near(PaintedOver(native, RGB(0, 0, 255), 8, 8), RGB(128, 0, 127)));

  UniqueBitmap opaque = SolidBitmap(16, 16, 32, 0xFF00FF00);
  SendMessageW(native, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(opaque.get()));
  EXPECT_EQ(PaintedOver(native, RGB(0, 0, 255), 8, 8), RGB(0, 255, 0));
}

// A 32-bit bitmap that is no DIB section is read pixel by pixel to find its
// alpha, inside the window procedure: without memory for that the image is
// still taken, shown without blending, and nothing is thrown.
TEST_F(PictureControlTest, WithoutMemoryA32BitImageIsStillTakenWithoutBlending) {
  std::vector<std::uint32_t> pixels(16 * 16, 0x80FF0000);
  UniqueBitmap plain(CreateBitmap(16, 16, 1, 32, pixels.data()));
  ASSERT_TRUE(plain);
  std::int64_t picture = PictureControlCreate(-1, 0, 0, 16, 16, nullptr, 0);
  HWND native = ControlHandle(picture);
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(SendMessageW(native, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(plain.get())));
  }
  EXPECT_EQ(SendMessageW(native, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LPARAM>(plain.get()));
  EXPECT_EQ(PaintedOver(native, RGB(0, 0, 255), 8, 8), RGB(255, 0, 0)) << "painted as it is, alpha left out";
}

TEST_F(PictureControlTest, EmptyImageLeavesSizeAndPaintsNothing) {
  UniqueBitmap image = SolidBitmap(30, 20, 24, 0x00FFFFFF);
  std::int64_t picture = PictureControlCreate(-1, 0, 0, 10, 10, image.get(), 0);
  HWND native = ControlHandle(picture);
  SendMessageW(native, STM_SETIMAGE, IMAGE_BITMAP, 0);
  EXPECT_EQ(SendMessageW(native, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
  RECT r{};
  GetClientRect(native, &r);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(PaintedOver(native, RGB(1, 2, 3), 5, 5), RGB(1, 2, 3));
}

// The frame lies outside the client area, around the whole image: the
// control grows by 4 pixels, and a raised frame's image starts one pixel up
// and left of the client area.
TEST_F(PictureControlTest, FrameAddsFourPixelsAndRaisedPaintsOnePixelUpAndLeft) {
  UniqueBitmap image = SolidBitmap(30, 20, 24, 0x000000FF);
  {
    // The top row and the left column red, the rest blue.
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    SelectedObject selected(dc.get(), image.get());
    UniqueBrush red(CreateSolidBrush(RGB(255, 0, 0)));
    RECT top{0, 0, 30, 1}, left{0, 0, 1, 20};
    FillRect(dc.get(), &top, red.get());
    FillRect(dc.get(), &left, red.get());
  }
  for (std::uint32_t flags : {kPictureSunken, kPictureRaised}) {
    HWND native = ControlHandle(PictureControlCreate(-1, 0, 0, 10, 10, image.get(), flags));
    RECT outer{}, client{};
    GetWindowRect(native, &outer);
    GetClientRect(native, &client);
    EXPECT_EQ(outer.right - outer.left, 34) << flags;
    EXPECT_EQ(outer.bottom - outer.top, 24) << flags;
    bool raised = flags == kPictureRaised;
    int frame = raised ? GetSystemMetrics(SM_CXDLGFRAME) : GetSystemMetrics(SM_CXEDGE);
    EXPECT_EQ(client.right, 34 - 2 * frame) << flags;
    EXPECT_EQ(PaintedOver(native, RGB(0, 255, 0), 0, 0), raised ? RGB(0, 0, 255) : RGB(255, 0, 0)) << flags;
    EXPECT_EQ(PaintedOver(native, RGB(0, 255, 0), 5, 0), raised ? RGB(0, 0, 255) : RGB(255, 0, 0)) << flags;
  }
}

TEST_F(PictureControlTest, MouseGivesClicksDoubleClicksAndDragStart) {
  UniqueBitmap image = SolidBitmap(100, 50, 24, 0);
  std::int64_t picture = PictureControlCreate(0, 0, 0, 100, 50, image.get(), 0);
  HWND native = ControlHandle(0);
  ASSERT_EQ(picture, reinterpret_cast<std::intptr_t>(native));
  auto at = [](int x, int y) { return MAKELPARAM(x, y); };

  SendMessageW(native, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
  SendMessageW(native, WM_LBUTTONUP, 0, at(10, 10));
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{0, kControlLeftClick}}));

  SendMessageW(native, WM_LBUTTONDBLCLK, MK_LBUTTON, at(10, 10));
  SendMessageW(native, WM_RBUTTONUP, 0, at(10, 10));
  SendMessageW(native, WM_RBUTTONDBLCLK, 0, at(10, 10));
  SendMessageW(native, WM_RBUTTONUP, 0, at(10, 10));
  SendMessageW(native, WM_RBUTTONUP, 0, at(10, 10));
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{0, kControlLeftDoubleClick},
                                                {0, kControlRightClick},
                                                {0, kControlRightDoubleClick},
                                                {0, kControlRightClick}}));

  int dx = GetSystemMetrics(SM_CXDRAG);
  SendMessageW(native, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
  Drain();
  EXPECT_EQ(GetCapture(), native);
  SendMessageW(native, WM_MOUSEMOVE, MK_LBUTTON, at(10 + dx, 10));
  EXPECT_TRUE(Drain().empty());
  SendMessageW(native, WM_MOUSEMOVE, MK_LBUTTON, at(10 + dx + 1, 10));
  SendMessageW(native, WM_MOUSEMOVE, MK_LBUTTON, at(40, 40));
  EXPECT_EQ(Drain(), (std::vector<ControlEvent>{{0, kControlDragStart}}));
  EXPECT_EQ(GetCapture(), nullptr);
}

}  // namespace
