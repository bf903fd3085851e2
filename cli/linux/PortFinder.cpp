// The ports a station sees: the names that match its globs and are
// character devices, with the USB serial number and physical location sysfs
// gives the device behind each, where there is one; and what sysfs tells of
// one port for its record.
#include "cli/Platform.h"
#include "cli/linux/DeviceNumber.h"

#include <glob.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fwu::cli {
namespace {

// The names one glob matches, sorted; freed with it.
class GlobMatches {
 public:
  explicit GlobMatches(const std::string& pattern) { matched_ = glob(pattern.c_str(), 0, nullptr, &found_) == 0; }
  ~GlobMatches() { globfree(&found_); }
  GlobMatches(const GlobMatches&) = delete;
  GlobMatches& operator=(const GlobMatches&) = delete;

  std::size_t Count() const { return matched_ ? found_.gl_pathc : 0; }
  const char* operator[](std::size_t i) const { return found_.gl_pathv[i]; }

 private:
  glob_t found_{};
  bool matched_ = false;
};

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// "vvvv:pppp:NUMBER" from the USB device behind the tty `device`, or empty.
std::string UsbSerial(dev_t device) {
  std::filesystem::path usb = UsbDeviceFolder(device);
  if (usb.empty()) return {};
  std::string serial = FirstLine(usb / "serial");
  return serial.empty() ? std::string() : FirstLine(usb / "idVendor") + ":" + FirstLine(usb / "idProduct") + ":" + serial;
}

}  // namespace

std::vector<SeenPort> FindPorts(const std::vector<std::string>& patterns) {
  std::vector<SeenPort> found;
  for (const std::string& pattern : patterns) {
    GlobMatches matches(pattern);
    for (std::size_t i = 0; i < matches.Count(); ++i) {
      struct stat info {};
      if (stat(matches[i], &info) != 0 || !S_ISCHR(info.st_mode)) continue;
      // A node the system makes anew has a new inode.
      found.push_back({matches[i], DeviceIdentity(info.st_rdev), UsbSerial(info.st_rdev), std::to_string(info.st_ino),
                       UsbLocation(info.st_rdev)});
    }
  }
  return found;
}

PortInfo DescribePort(const std::string& port) {
  PortInfo info{port, {}, {}, {}};
  struct stat status {};
  if (stat(port.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return info;
  std::filesystem::path usb = UsbDeviceFolder(status.st_rdev);
  if (usb.empty()) return info;
  info.description = FirstLine(usb / "product");
  info.usbId = FirstLine(usb / "idVendor") + ":" + FirstLine(usb / "idProduct");
  info.serial = FirstLine(usb / "serial");
  info.location = usb.filename().string();
  return info;
}

std::vector<std::string> DefaultWatchPatterns() { return {"/dev/ttyUSB*", "/dev/ttyACM*"}; }

}  // namespace fwu::cli
