#include "cli/Platform.h"

namespace fwu::cli {

// Port names go to the system as they were typed ("COM3", "\\.\COM12").
std::string NormalizePortName(std::string_view name) { return std::string(name); }

}  // namespace fwu::cli
