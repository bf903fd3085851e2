// Background colours of windows.
#include "runtime/window/WindowInternal.h"

#include <mutex>

std::int32_t ColourFromRgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

void WindowSetColour(std::int64_t number, std::int32_t colour) {
  HWND window = nullptr;
  {
    auto guard = Windows().Lock();
    WindowRecord* record = Windows().Find(number);
    if (!record || record->colour == colour) return;
    record->brush.reset(colour == kNoColour ? nullptr : CreateSolidBrush(static_cast<COLORREF>(colour)));
    record->colour = colour;
    window = record->handle;
  }
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE);
}
