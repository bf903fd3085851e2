#include "cli/ListCommand.h"

#include "cli/PrintableText.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace fwu::cli {

std::string PortLine(const PortInfo& port) {
  std::string line = port.name;
  for (const std::string* detail : {&port.description, &port.usbId, &port.serial})
    if (!detail->empty()) line += "  " + *detail;
  return Printable(line);
}

std::string PortJson(const PortInfo& port) {
  nlohmann::ordered_json object{{"port", port.name}};
  if (!port.description.empty()) object["description"] = port.description;
  if (!port.usbId.empty()) object["usb_id"] = port.usbId;
  if (!port.serial.empty()) object["serial"] = port.serial;
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

int RunList(bool json) {
  for (const PortInfo& port : ListPorts()) std::puts((json ? PortJson(port) : PortLine(port)).c_str());
  return 0;
}

}  // namespace fwu::cli
