// fwupload --watch: the station. It updates every port that appears and
// matches its patterns, once until the port has gone, until Ctrl+C or its
// count.
#pragma once

#include "cli/Arguments.h"

namespace fwu::cli {

// Runs the station of `command` and gives the exit status.
int RunWatch(const Command& command);

}  // namespace fwu::cli
