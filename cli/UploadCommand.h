// fwupload's upload: the file read once, one run per port, all at once.
#pragma once

#include "cli/Arguments.h"

namespace fwu::cli {

// Runs the upload to every port of `command` and gives the exit status.
int RunUpload(const Command& command);

}  // namespace fwu::cli
