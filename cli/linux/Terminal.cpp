#include "cli/Platform.h"

#include <unistd.h>

namespace fwu::cli {

bool PrepareLiveOutput() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace fwu::cli
