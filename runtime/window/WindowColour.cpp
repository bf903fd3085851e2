// Background colours of windows.
#include "runtime/window/WindowInternal.h"

#include <utility>

std::int32_t ColourFromRgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

void WindowSetColour(std::int64_t number, std::int32_t colour) {
  // Made and deleted outside the registry's lock: the window keeps the new
  // brush and `brush` then holds the old one.
  UniqueBrush brush(colour == kNoColour ? nullptr : CreateSolidBrush(static_cast<COLORREF>(colour)));
  HWND window = Windows()
                    .With(number,
                          [&](WindowRecord& record) -> HWND {
                            if (record.colour == colour) return nullptr;
                            std::swap(record.brush, brush);
                            record.colour = colour;
                            return record.handle;
                          })
                    .value_or(nullptr);
  if (window) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE);
}
