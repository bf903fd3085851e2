#include "app/WindowBuilder.h"

#include "app/Banner.h"
#include "app/ProgressRefresher.h"
#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/image/Image.h"
#include "runtime/thread/Thread.h"
#include "runtime/window/Window.h"

namespace {

// A title bar with the system menu and close box, no sizing, centred on the
// screen, shown and activated at once.
constexpr std::uint32_t kUpdaterWindowFlags = 0xC80003;

constexpr std::int64_t kAny = -1;
constexpr std::int64_t kBannerImage = 0;
constexpr std::int64_t kBannerControl = 0;

// Image 0 from the embedded picture, read no further than the resource goes;
// a missing or broken picture leaves the banner empty.
void LoadBanner() {
  std::span<const std::byte> picture = BannerPicture();
  if (!picture.empty())
    ImageLoadFromMemory(kBannerImage, picture.data(), static_cast<std::int64_t>(picture.size()));
}

}  // namespace

int BuildUpdaterWindow(int x, int y, int width, int height) {
  g_updater.window = WindowOpen(kAny, x, y, width, height, L"Update firmware 1.0", kUpdaterWindowFlags, nullptr);
  WindowSetColour(g_updater.window, ColourFromRgb(42, 42, 42));

  LoadBanner();
  PictureControlCreate(kBannerControl, 0, 0, 400, 60, ImageHandle(kBannerImage), 0);

  g_updater.portList = DropDownListCreate(kAny, 10, 70, 70, 20, 0);
  g_updater.firmwarePathField = TextFieldCreate(kAny, 90, 70, 200, 20, kDefaultFirmwarePath, 0);
  g_updater.openButton = PushButtonCreate(kAny, 300, 70, 90, 20, L"Open", 0);
  g_updater.progressBar = ProgressBarCreate(kAny, 10, 110, 380, 30, 0, 100, 0);
  g_updater.updateButton = PushButtonCreate(kAny, 140, 160, 140, 30, L"UPDATE!", 0);

  g_updater.progress = 0;
  ThreadStart(RefreshProgress, 0);
  return 0;
}
