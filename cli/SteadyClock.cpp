#include "cli/SteadyClock.h"

#include <thread>

namespace fwu::cli {

void SteadyClock::Delay(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

std::chrono::steady_clock::duration SteadyClock::Now() { return std::chrono::steady_clock::now().time_since_epoch(); }

}  // namespace fwu::cli
