#include "cli/Platform.h"

#include "bridge/RuntimeLine.h"
#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <algorithm>

namespace fwu::cli {
namespace {

// Windows 10 1803 and later; older headers do not name it.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

// The runtime's delays, which raise the timer resolution to 1 ms (a reply
// wait of 5000 polls of 1 ms needs it), and pauses between body polls on a
// high-resolution waitable timer. Where the system has none (before Windows
// 10 1803), an ordinary waitable timer: each pause is then rounded up to the
// 1 ms resolution, which costs a UART some speed but spins no core.
class PausingClock : public RuntimeClock {
 public:
  PausingClock() : timer_(MakeTimer(kHighResolutionTimer)) {
    if (!timer_) timer_ = MakeTimer(0);
  }

  void PauseBetweenPolls(std::chrono::nanoseconds duration) override {
    LARGE_INTEGER due{};
    due.QuadPart = -std::max<LONGLONG>(1, duration.count() / 100);  // relative, in 100 ns
    if (timer_ && SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE))
      WaitForSingleObject(timer_.get(), INFINITE);
    else
      Delay(kPollInterval);
  }

 private:
  static UniqueKernelHandle MakeTimer(DWORD flags) {
    return UniqueKernelHandle(CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_MODIFY_STATE | SYNCHRONIZE));
  }

  UniqueKernelHandle timer_;
};

}  // namespace

std::unique_ptr<Clock> MakeRunClock() { return std::make_unique<PausingClock>(); }

}  // namespace fwu::cli
