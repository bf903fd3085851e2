// COM port names as the user types them and as the system opens them.
#pragma once

#include <string_view>

namespace fwu::cli {

// The name without the device namespace's "\\.\" in front ("\\.\COM12" is
// "COM12"): an open puts that prefix before every name itself.
std::string_view BarePortName(std::string_view port);

}  // namespace fwu::cli
