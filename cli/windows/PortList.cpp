// The ports as the window lists them (COM1 to COM99 that open), and what the
// system's device list tells of a port where it has it.
#include "cli/Platform.h"
#include "cli/windows/PortDevices.h"
#include "cli/windows/SerialChannels.h"
#include "cli/windows/Wide.h"

#include "bridge/SerialPorts.h"
#include "runtime/serial/Serial.h"

namespace fwu::cli {

std::vector<PortInfo> ListPorts() {
  EnsureSerialChannels();
  std::vector<PortInfo> devices = PresentPortDevices();
  std::vector<PortInfo> ports;
  for (int number = kFirstPort; number <= kLastPort; ++number) {
    std::wstring name = PortName(number);
    std::int64_t channel = SerialOpenForProbe(-1, name.c_str());
    if (!channel) continue;
    SerialClose(channel);
    ports.push_back(DeviceOfPort(devices, Narrowed(name)));
  }
  return ports;
}

PortInfo DescribePort(const std::string& port) { return DeviceOfPort(PresentPortDevices(), port); }

}  // namespace fwu::cli
