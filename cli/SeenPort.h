// A serial port as the system shows it at one moment.
#pragma once

#include <string>

namespace fwu::cli {

struct SeenPort {
  std::string name;
  std::string identity;  // shared by every name of the same device
  std::string serial;    // "vvvv:pppp:NUMBER", the USB ids and serial number; empty where none
};

}  // namespace fwu::cli
