// fwupload --watch: the station. It updates every port that appears and
// matches its patterns, once until the port has gone, until an interrupt or
// its count.
#pragma once

#include "cli/Arguments.h"

#include <atomic>

namespace fwu::cli {

// Runs the station of `command` and gives the exit status. Once `interrupted`
// is set, no run starts any more: with none under way that is the station's
// normal end, else the runs stop.
int RunWatch(const Command& command, const std::atomic<bool>& interrupted);

}  // namespace fwu::cli
