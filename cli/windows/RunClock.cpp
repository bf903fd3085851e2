#include "cli/Platform.h"

#include "bridge/RuntimeLine.h"

namespace fwu::cli {

// The runtime's delays raise the timer resolution to 1 ms, which a reply
// wait of 5000 polls of 1 ms needs on Windows.
std::unique_ptr<Clock> MakeRunClock() { return std::make_unique<RuntimeClock>(); }

}  // namespace fwu::cli
