#include "cli/Platform.h"

namespace fwu::cli {

// Port names go to the system as they were typed ("COM3", "\\.\COM12").
std::string NormalizePortName(std::string_view name) { return std::string(name); }

// For now a port's name is its identity.
std::string PortIdentity(const std::string& port) { return port; }

}  // namespace fwu::cli
