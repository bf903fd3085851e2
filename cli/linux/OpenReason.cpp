#include "cli/linux/OpenReason.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
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

// An entry of the user or group database through its reentrant call (runs
// look up on several threads at once), its strings in `buffer`; null when
// there is none.
template <class Entry, class Id>
Entry* LookUp(int (*call)(Id, Entry*, char*, std::size_t, Entry**), Id id, Entry& entry, std::vector<char>& buffer) {
  Entry* found = nullptr;
  buffer.resize(16384);
  while (call(id, &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 22))
    buffer.resize(buffer.size() * 2);
  return found;
}

struct GroupEntry {
  std::string name;
  std::vector<std::string> members;
};
std::optional<GroupEntry> FindGroup(gid_t id) {
  group entry{};
  std::vector<char> buffer;
  if (!LookUp(getgrgid_r, id, entry, buffer)) return std::nullopt;
  GroupEntry group{entry.gr_name, {}};
  for (char** member = entry.gr_mem; member && *member; ++member) group.members.emplace_back(*member);
  return group;
}

std::optional<std::string> FindLogin(uid_t id) {
  passwd entry{};
  std::vector<char> buffer;
  return LookUp(getpwuid_r, id, entry, buffer) ? std::optional<std::string>(entry.pw_name) : std::nullopt;
}

bool Lists(const GroupEntry& entry, const std::string& login) {
  return std::find(entry.members.begin(), entry.members.end(), login) != entry.members.end();
}

// Serial ports belong to a group (dialout on Debian and Ubuntu, uucp on
// others) whose members may use them.
std::string PermissionReason(const std::string& path) {
  std::string reason = "permission denied";
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || info.st_gid == 0 || InGroup(info.st_gid)) return reason;
  std::optional<GroupEntry> owner = FindGroup(info.st_gid);
  if (!owner) return reason;
  std::string name = owner->name;
  std::string login = FindLogin(getuid()).value_or("$USER");
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
