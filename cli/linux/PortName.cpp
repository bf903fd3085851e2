#include "cli/Platform.h"

namespace fwu::cli {

std::string NormalizePortName(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  return "/dev/" + std::string(name);
}

}  // namespace fwu::cli
