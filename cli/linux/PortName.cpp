#include "cli/Platform.h"

namespace fwu::cli {

std::string NormalizePortName(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  return "/dev/" + std::string(name);
}

// For now a port's name is its identity.
std::string PortIdentity(const std::string& port) { return port; }

}  // namespace fwu::cli
