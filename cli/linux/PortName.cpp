#include "cli/Platform.h"
#include "cli/linux/DeviceNumber.h"

#include <sys/stat.h>

namespace fwu::cli {

std::string NormalizePortName(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  return "/dev/" + std::string(name);
}

// An existing character device is known by its device number, whatever link
// or name leads to it; anything else by its name.
std::string PortIdentity(const std::string& port) {
  struct stat info {};
  if (stat(port.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return port;
  return DeviceIdentity(info.st_rdev);
}

}  // namespace fwu::cli
