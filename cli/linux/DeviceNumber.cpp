#include "cli/linux/DeviceNumber.h"

#include <sys/sysmacros.h>

namespace fwu::cli {
namespace {

std::string MajorMinor(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

}  // namespace

std::string DeviceIdentity(dev_t device) { return "device " + MajorMinor(device); }

std::string SysfsDevicePath(dev_t device) { return "/sys/dev/char/" + MajorMinor(device); }

std::filesystem::path UsbDeviceFolder(dev_t device) {
  std::error_code error;
  std::filesystem::path at = std::filesystem::canonical(SysfsDevicePath(device), error);
  if (error) return {};
  for (; at.has_relative_path() && at != "/sys/devices"; at = at.parent_path()) {
    if (std::filesystem::exists(at / "idVendor", error)) return at;
  }
  return {};
}

std::string UsbLocation(dev_t device) { return UsbDeviceFolder(device).filename().string(); }

}  // namespace fwu::cli
