#include "cli/Platform.h"

#include <thread>

namespace fwu::cli {
namespace {

// The thread sleeps; time is the steady clock's.
class SteadyClock : public Clock {
 public:
  void Delay(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
  std::chrono::steady_clock::duration Now() override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

}  // namespace

// Linux sleeps close to the time asked for (1 ms takes a little over 1 ms).
std::unique_ptr<Clock> MakeRunClock() { return std::make_unique<SteadyClock>(); }

}  // namespace fwu::cli
