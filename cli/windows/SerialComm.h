// The registry's HARDWARE\DEVICEMAP\SERIALCOMM key, where each serial driver
// enters the COM name of a port while the port is there (a USB adapter's
// while it is plugged in), under a value named for the driver's device.
#pragma once

#include <string>
#include <vector>

namespace fwu::cli {

inline constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct SerialCommEntry {
  std::wstring device;  // the value's name, such as "\Device\Serial0"
  std::wstring port;    // its data, such as "COM3"
};

// The key's entries now, empty when it cannot be read.
std::vector<SerialCommEntry> SerialCommEntries();

}  // namespace fwu::cli
