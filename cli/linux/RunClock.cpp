#include "cli/Platform.h"

#include <sys/prctl.h>

#include <cerrno>
#include <ctime>
#include <thread>

namespace fwu::cli {
namespace {

// How late the kernel may wake a sleeping run: the default of 50 us is a
// quarter of a byte time at 57600 baud, and would be added to most bytes.
constexpr unsigned long kTimerSlackNanoseconds = 1000;

// The thread sleeps; time is the steady clock's. Every wait has a small timer
// slack, which the clock sets on the thread that makes it, the run's own
// (slack belongs to a thread); a pause between polls sleeps on the monotonic
// clock.
class SteadyClock : public Clock {
 public:
  SteadyClock() { prctl(PR_SET_TIMERSLACK, kTimerSlackNanoseconds, 0, 0, 0); }
  void Delay(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
  std::chrono::steady_clock::duration Now() override { return std::chrono::steady_clock::now().time_since_epoch(); }
  void PauseBetweenPolls(std::chrono::nanoseconds duration) override {
    timespec rest{0, static_cast<long>(duration.count())};  // under kPollInterval
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &rest, &rest) == EINTR) {
    }
  }
};

}  // namespace

// Linux sleeps close to the time asked for (1 ms takes a little over 1 ms).
std::unique_ptr<Clock> MakeRunClock() { return std::make_unique<SteadyClock>(); }

}  // namespace fwu::cli
