// fwupload's upload: the file read once, one run per port, all at once.
#pragma once

#include "cli/Arguments.h"

#include <atomic>

namespace fwu::cli {

// Runs the upload to every port of `command` and gives the exit status. Once
// `interrupted` is set, no port is opened any more and the runs stop.
int RunUpload(const Command& command, const std::atomic<bool>& interrupted);

}  // namespace fwu::cli
