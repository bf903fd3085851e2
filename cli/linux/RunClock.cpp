#include "cli/Platform.h"
#include "cli/SteadyClock.h"

namespace fwu::cli {

// Linux sleeps close to the time asked for (1 ms takes a little over 1 ms).
std::unique_ptr<Clock> MakeRunClock() { return std::make_unique<SteadyClock>(); }

}  // namespace fwu::cli
