#include "cli/windows/SerialChannels.h"

#include "runtime/serial/Serial.h"

namespace fwu::cli {

void EnsureSerialChannels() {
  static const bool started = (SerialStartup(), true);
  (void)started;
}

}  // namespace fwu::cli
