#include "app/ProgressRefresher.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/thread/Thread.h"

namespace {

constexpr std::int64_t kRefreshIntervalMs = 100;

}  // namespace

// Runs on its own thread; reads the progress value and the bar's number, both
// written before it starts or atomically. The bar is rewritten only when it
// shows something else: a rewrite repaints it, and doing that ten times a
// second kept an idle window busy. Whatever set the bar meanwhile (the upload
// finish sets it to 0 directly) is still put right within one interval.
std::int64_t RefreshProgress(std::int64_t) {
  for (;;) {
    auto progress = static_cast<std::int32_t>(g_updater.progress.load());
    if (ControlGetState(g_updater.progressBar) != progress) ControlSetState(g_updater.progressBar, progress);
    DelayMs(kRefreshIntervalMs);
  }
}
