#include "cli/linux/OpenReason.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace fwu::cli {
namespace {

std::string Named(const PortUser& user) {
  std::string pid = "pid " + std::to_string(user.pid);
  return user.name.empty() ? "a process (" + pid + ")" : user.name + " (" + pid + ")";
}

// Whether this process has the group's rights now (a group joined since the
// login is not among them).
bool InGroup(gid_t group) {
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  return getegid() == group || std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool Lists(const group& entry, const std::string& login) {
  for (char** member = entry.gr_mem; member && *member; ++member)
    if (login == *member) return true;
  return false;
}

// Serial ports belong to a group (dialout on Debian and Ubuntu, uucp on
// others) whose members may use them.
std::string PermissionReason(const std::string& path) {
  std::string reason = "permission denied";
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || info.st_gid == 0 || InGroup(info.st_gid)) return reason;
  const group* owner = getgrgid(info.st_gid);
  if (!owner) return reason;
  std::string name = owner->gr_name;
  const passwd* user = getpwuid(getuid());
  std::string login = user ? user->pw_name : "$USER";
  if (Lists(*owner, login)) return reason + ": you joined the group " + name + " since you logged in; log in again";
  return reason + ": the port is for the group " + name + "; join it with 'sudo usermod -aG " + name + " " + login +
         "', then log in again";
}

}  // namespace

std::string OpenFailureReason(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return "no such device (is it plugged in? 'fwupload --list' shows the serial ports there are)";
    case EACCES:
    case EPERM:
      return PermissionReason(path);
    case EBUSY:
      return HeldReason(std::nullopt, "which holds it for itself alone");
    case EISDIR:
      return NotASerialPortReason("a folder");
    default:
      return std::strerror(error);
  }
}

std::string HeldReason(const std::optional<PortUser>& user, const std::string& how) {
  std::string reason = "in use by " + (user ? Named(*user) : std::string("another program"));
  if (!how.empty()) reason += ", " + how;
  return reason + ": close it, then try again";
}

std::string LockFileReason(const std::string& what, const std::string& path) {
  return "held by " + what + ": " + path + " (remove it if no program uses the port, then try again)";
}

std::string NotASerialPortReason(const std::string& what) { return "not a serial port (" + what + ")"; }

std::string ControllingTerminalReason(const PortUser& leader) {
  return "a terminal, not a device: it is the controlling terminal of " + Named(leader) + "'s session";
}

}  // namespace fwu::cli
