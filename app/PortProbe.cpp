#include "app/PortProbe.h"

#include "bridge/SerialPorts.h"
#include "app/UpdaterState.h"
#include "runtime/control/Control.h"
#include "runtime/serial/Serial.h"

void PortProbe() {
  for (int number = kFirstPort; number <= kLastPort; ++number) {
    if (!SerialOpenForProbe(0, PortName(number).c_str())) continue;
    ControlAddItem(g_updater.portList, -1, PortName(number).c_str());
    SerialClose(0);
  }
}
