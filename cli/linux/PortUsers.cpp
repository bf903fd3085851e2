#include "cli/linux/PortUsers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace fwu::cli {
namespace {

struct DirectoryClose {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryClose>;

// Calls `visit` with each numeric name in `path` until it returns true.
bool AnyNumberIn(const std::string& path, const std::function<bool(long)>& visit) {
  Directory directory(opendir(path.c_str()));
  if (!directory) return false;
  while (dirent* entry = readdir(directory.get())) {
    char* end = nullptr;
    long number = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && visit(number)) return true;
  }
  return false;
}

bool HasOpen(pid_t pid, dev_t device) {
  std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  return AnyNumberIn(folder, [&](long fd) {
    struct stat target {};
    return stat((folder + "/" + std::to_string(fd)).c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
           target.st_rdev == device;
  });
}

// The fields of /proc/PID/stat after the command name (which may hold spaces
// and parentheses), from the state on.
std::istringstream StatFields(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(file, line);
  auto close = line.rfind(')');
  return std::istringstream(close == std::string::npos ? std::string() : line.substr(close + 1));
}

// The session whose controlling terminal `pid` has, when that is `device`.
std::optional<pid_t> SessionOn(pid_t pid, dev_t device) {
  std::istringstream fields = StatFields(pid);
  std::string state;
  long parent = 0, group = 0, session = 0;
  unsigned long terminal = 0;  // the kernel's encoding: minor in bits 0-7 and 20-31, major in 8-19
  if (!(fields >> state >> parent >> group >> session >> terminal) || terminal == 0) return std::nullopt;
  unsigned major = (terminal >> 8) & 0xFFF;
  unsigned minor = (terminal & 0xFF) | ((terminal >> 12) & 0xFFF00);
  if (makedev(major, minor) != device) return std::nullopt;
  return static_cast<pid_t>(session);
}

// The first process for which `match` gives a process to name.
std::optional<PortUser> FirstProcess(const std::function<std::optional<pid_t>(pid_t)>& match) {
  std::optional<PortUser> found;
  AnyNumberIn("/proc", [&](long pid) {
    std::optional<pid_t> named = match(static_cast<pid_t>(pid));
    if (named) found = PortUser{*named, ProcessName(*named)};
    return named.has_value();
  });
  return found;
}

}  // namespace

std::optional<PortUser> FindOtherUser(dev_t device) {
  pid_t self = getpid();
  return FirstProcess([&](pid_t pid) -> std::optional<pid_t> {
    if (pid != self && HasOpen(pid, device)) return pid;
    return std::nullopt;
  });
}

std::optional<PortUser> FindSessionOf(dev_t device) {
  return FirstProcess([&](pid_t pid) { return SessionOn(pid, device); });
}

std::string ProcessName(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

}  // namespace fwu::cli
