#include "app/ProgressRefresher.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/thread/Thread.h"

namespace {

constexpr std::int64_t kRefreshIntervalMs = 100;

}  // namespace

// Runs on its own thread; reads the progress value and the bar's number, both
// written before it starts or atomically.
std::int64_t RefreshProgress(std::int64_t) {
  for (;;) {
    ControlSetState(g_updater.progressBar, static_cast<std::int32_t>(g_updater.progress.load()));
    DelayMs(kRefreshIntervalMs);
  }
}
