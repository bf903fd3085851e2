// The engine's serial line on a POSIX tty (a real port or a pty), through
// termios and the tty ioctls.
//
// Return rules (SerialLine's): Write gives the bytes taken, 0 when none (it
// waits kFullBufferWait once when the line's buffer is full); Read waits up to
// kReadWait for the bytes asked for and gives those it got. A negative value:
// the line failed for good (EIO, a hang-up, where read gives 0), and
// FailureReason says how. DiscardOutput drops what the port holds unsent
// (tcflush). A signal that cuts a system call short is no failure: the call
// is made again.
#pragma once

#include "cli/Platform.h"
#include "cli/linux/UniqueFd.h"
#include "cli/linux/UucpLock.h"
#include "protocol/UploadEngine.h"

#include <termios.h>

#include <chrono>
#include <memory>
#include <string>

namespace fwu::cli {

class TermiosLine : public PortLine {
 public:
  static constexpr std::chrono::milliseconds kFullBufferWait{10};
  static constexpr std::chrono::milliseconds kReadWait{500};

  // The port opened for this program alone and set up for the upload; none,
  // and `reason` says why, when it is not a serial port, is another's, or
  // cannot be opened or set. The port is another's when another process has
  // it open, a UUCP lock file of a live process names it, another program
  // has locked it (flock) or holds it exclusively (TIOCEXCL), or it is some
  // session's controlling terminal. This program then takes all of those
  // for itself but the controlling terminal. Where the port opened but no
  // lock file could be made, `note` says so.
  static std::unique_ptr<TermiosLine> Open(const std::string& path, std::string& reason, std::string& note);
  // Drops what was not sent yet, gives the port back its settings from before
  // the open, and lets other programs open it again.
  ~TermiosLine() override;

  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;
  void DiscardOutput() override;
  std::string FailureReason() const override { return failure_; }

 private:
  TermiosLine(UucpLock lock, UniqueFd fd) : lock_(std::move(lock)), fd_(std::move(fd)) {}
  bool SetUp();
  // True when the line became ready for `events` by `deadline`, or reports
  // a hang-up or error the next call will see.
  bool WaitFor(short events, std::chrono::steady_clock::time_point deadline);
  // Notes why the line failed (`error`, or a hang-up when 0) and gives -1.
  std::int64_t Failed(int error);
  std::int64_t QueueCount(unsigned long request);

  // Destroyed in reverse: the descriptor is closed before the lock file goes.
  UucpLock lock_;
  UniqueFd fd_;
  termios saved_{};
  bool restore_ = false;
  std::string failure_;
};

}  // namespace fwu::cli
