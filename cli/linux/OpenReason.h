// Why a port could not be opened, one line in the system's words with what to
// do where that is known. The port's name is not repeated: the result line
// above it names the port.
#pragma once

#include "cli/linux/PortUsers.h"

#include <string>

namespace fwu::cli {

// A failed stat or open of `path`, from its errno.
std::string OpenFailureReason(int error, const std::string& path);
// In use by another program; `how` says how that was seen, where it adds to
// what the user can do ("by its lock file /run/lock/LCK..ttyUSB0").
std::string HeldReason(const std::optional<PortUser>& user, const std::string& how = {});
// Held by a lock file that names no live process: `what` it is.
std::string LockFileReason(const std::string& what, const std::string& path);
std::string NotASerialPortReason(const std::string& what);
std::string ControllingTerminalReason(const PortUser& leader);

}  // namespace fwu::cli
