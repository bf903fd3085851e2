#include "cli/Platform.h"

namespace fwu::cli {

// The arguments arrive as the bytes that were typed, UTF-8 on any current
// system.
Utf8Arguments PrepareProcess(int argc, char** argv) { return {argc, argv}; }

}  // namespace fwu::cli
