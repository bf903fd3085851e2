// How the system names a character device by its number.
#pragma once

#include <sys/types.h>

#include <string>

namespace fwu::cli {

// "device 188:0": the identity of a port that is a character device,
// whatever link or name leads to it.
std::string DeviceIdentity(dev_t device);
// "/sys/dev/char/188:0": the device's entry in sysfs.
std::string SysfsDevicePath(dev_t device);

}  // namespace fwu::cli
