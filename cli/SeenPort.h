// A serial port as the system shows it at one moment.
#pragma once

#include <string>

namespace fwu::cli {

struct SeenPort {
  std::string name;
  std::string identity;  // shared by every name of the same device
  std::string serial;    // "vvvv:pppp:NUMBER", the USB ids and serial number; empty where none
  // Changes when the system makes the device's node anew (a board pulled out
  // and the next plugged in, even under the same name); empty where unknown.
  std::string instance{};
  // Where the USB device is plugged in, the path of hub ports ("1-1.3"): the
  // same for every board plugged into that socket; empty where unknown.
  std::string location{};
};

}  // namespace fwu::cli
