// How the system names a character device by its number, and what sysfs
// tells of the USB device behind it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace fwu::cli {

// "device 188:0": the identity of a port that is a character device,
// whatever link or name leads to it.
std::string DeviceIdentity(dev_t device);
// "/sys/dev/char/188:0": the device's entry in sysfs.
std::string SysfsDevicePath(dev_t device);

// The sysfs folder of the USB device a tty hangs below (its interface's
// parent, for usb-serial and CDC-ACM alike), such as
// "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.3"; empty where the
// device is no USB one or has no sysfs entry (a pty).
std::filesystem::path UsbDeviceFolder(dev_t device);
// The USB device's physical location: the path of hub ports it is plugged
// into, such as "1-1.3". It stays the same when the board behind it is
// unplugged and plugged in again on the same socket, whatever tty name it
// gets; empty where the device is no USB one.
std::string UsbLocation(dev_t device);

}  // namespace fwu::cli
