// What a --port or --watch run writes to besides its devices: its records
// and its display (with --publish, the line's broker too), all set up before
// any port is opened.
#pragma once

#include "cli/Arguments.h"
#include "cli/Display.h"
#include "cli/Firmware.h"
#include "cli/Recording.h"

#include <memory>
#include <optional>

namespace fwu::cli {

struct RunOutlets {
  FirmwareFacts facts;
  Recording recording;
  std::unique_ptr<Display> display;
};

// None when the records cannot be opened (`status` kExitCannotRecord) or
// the broker's password cannot be read (kExitNoInput); the reason is then
// told on standard error.
std::optional<RunOutlets> OpenOutlets(const Command& command, const FirmwareFile& firmware, Output& output,
                                      int& status);

}  // namespace fwu::cli
