#include "app/PortProbe.h"

#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/serial/Serial.h"

#include <string>

namespace {

std::wstring PortName(int number) { return std::wstring(kPortNamePrefix) + std::to_wstring(number); }

}  // namespace

void PortProbe() {
  for (int number = 1; number <= 99; ++number) {
    if (!SerialOpen(0, PortName(number).c_str(), 9600, 0, 8, 1.0f, 0, 16, 16)) continue;
    ControlAddItem(g_updater.portList, -1, PortName(number).c_str());
    SerialClose(0);
  }
}
