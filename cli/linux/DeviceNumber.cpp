#include "cli/linux/DeviceNumber.h"

#include <sys/sysmacros.h>

namespace fwu::cli {
namespace {

std::string MajorMinor(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

}  // namespace

std::string DeviceIdentity(dev_t device) { return "device " + MajorMinor(device); }

std::string SysfsDevicePath(dev_t device) { return "/sys/dev/char/" + MajorMinor(device); }

}  // namespace fwu::cli
