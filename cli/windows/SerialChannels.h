// The runtime's serial channels, started once for the whole program on first
// use; they are never stopped, as the process ends with them.
#pragma once

namespace fwu::cli {

void EnsureSerialChannels();

}  // namespace fwu::cli
