// Who else uses a device, as the system shows it in /proc: the processes that
// have it open (fuser's way: every descriptor of every process that leads
// into /dev, compared by device number; a descriptor elsewhere is never
// looked at through, as a dead network mount would not answer) and the
// sessions it is the controlling terminal of.
//
// Return rules: what cannot be read (another user's descriptors, unless this
// program runs as root; a process that ends during the scan) counts as not
// there. Nothing fails.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace fwu::cli {

struct PortUser {
  pid_t pid = 0;
  std::string name;  // the process's command name; empty when unknown
};

// Another process (not this one) with the character device `device` open.
std::optional<PortUser> FindOtherUser(dev_t device);

// The leader of a session whose controlling terminal is the character device
// `device` (this process's own session counts); its name is empty when the
// leader has ended.
std::optional<PortUser> FindSessionOf(dev_t device);

// The command name of process `pid`, or empty.
std::string ProcessName(pid_t pid);

// When process `pid` started, to a clock tick; none when it is not there.
std::optional<std::chrono::system_clock::time_point> ProcessStarted(pid_t pid);

}  // namespace fwu::cli
