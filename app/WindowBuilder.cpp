#include "app/WindowBuilder.h"

#include "app/UpdaterState.h"
#include "runtime/window/Window.h"

namespace {

// A title bar with the system menu and close box, no sizing, centred on the
// screen, shown and activated at once.
constexpr std::uint32_t kUpdaterWindowFlags = 0xC80003;

}  // namespace

int BuildUpdaterWindow(int x, int y, int width, int height) {
  g_updater.window = WindowOpen(-1, x, y, width, height, L"Update firmware 1.0", kUpdaterWindowFlags, nullptr);
  WindowSetColour(g_updater.window, ColourFromRgb(42, 42, 42));

  // The banner goes here: image 0 loaded from the embedded picture, shown by
  // picture control 0 across the top 60 pixels.

  // The controls go here, in this order: port list, firmware path field, Open
  // button, progress bar, UPDATE! button; their numbers go into g_updater.

  g_updater.progress = 0;

  // The progress refresher starts here.
  return 0;
}
