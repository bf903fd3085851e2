// The system's device list of serial ports (SetupAPI's ports class), with what
// it knows of each: its friendly name and, for a USB adapter, its ids, serial
// number and where it is plugged in.
#pragma once

#include "cli/Platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

// The present devices of the ports class that have a port name, each as
// DescribePort tells of it; empty when the list cannot be read.
std::vector<PortInfo> PresentPortDevices();

// The device of `devices` that `port` names (in any of its spellings), named
// `port`; just `port` when none is.
PortInfo DeviceOfPort(const std::vector<PortInfo>& devices, const std::string& port);

// What a USB device's instance id tells: "USB\VID_0403&PID_6001\A7F3B2C4" is
// "0403:6001" with serial "A7F3B2C4". The system makes up the last part (one
// with '&' in it) for a device without a serial number: then there is none.
// Nothing for the id of anything but a whole USB device (an interface of a
// composite device, "...&MI_00\...", is not one).
struct UsbIdentity {
  std::string usbId;
  std::string serial;
};
std::optional<UsbIdentity> UsbIdentityOf(std::wstring_view instanceId);

}  // namespace fwu::cli
