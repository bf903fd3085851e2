// fwupload --list: the serial ports, one a line, or one JSON object a line.
#pragma once

#include "cli/Platform.h"

#include <string>

namespace fwu::cli {

// "NAME  description  vvvv:pppp  serial", leaving out what is empty.
std::string PortLine(const PortInfo& port);
// {"port":..,"description":..,"usb_id":..,"serial":..}, leaving out what is empty.
std::string PortJson(const PortInfo& port);

// Prints the ports and gives the exit status.
int RunList(bool json);

}  // namespace fwu::cli
