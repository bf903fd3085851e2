// fwupload --history: the runs recorded, read from the file without holding
// up a station that writes it.
#pragma once

#include "cli/Arguments.h"

namespace fwu::cli {

// Prints the runs (or their summary) `command` asks for and gives the exit
// status: 0, or kExitCannotRecord when the file cannot be read.
int RunHistory(const Command& command);

}  // namespace fwu::cli
