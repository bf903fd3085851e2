// The engine's serial line on a POSIX tty (a real port or a pty), through
// termios and the tty ioctls.
//
// Return rules (SerialLine's): Write gives the bytes taken, 0 when none (it
// waits kFullBufferWait once when the line's buffer is full); Read waits up to kReadWait for the
// bytes asked for and gives those it got. A negative value: the line failed
// for good (EIO, a hang-up, where read gives 0).
#pragma once

#include "cli/linux/UniqueFd.h"
#include "protocol/UploadEngine.h"

#include <chrono>
#include <memory>
#include <string>

namespace fwu::cli {

class TermiosLine : public SerialLine {
 public:
  static constexpr std::chrono::milliseconds kFullBufferWait{10};
  static constexpr std::chrono::milliseconds kReadWait{500};

  // The port opened for this program alone (flock, then TIOCEXCL) and set up
  // for the upload; none when that fails.
  static std::unique_ptr<TermiosLine> Open(const std::string& path);
  // Drops what was not sent yet and lets other programs open the port again.
  ~TermiosLine() override;

  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;

 private:
  explicit TermiosLine(UniqueFd fd) : fd_(std::move(fd)) {}
  bool SetUp();
  // True when the line became ready for `events` within `wait`, or reports
  // a hang-up or error the next call will see.
  bool WaitFor(short events, std::chrono::milliseconds wait);

  UniqueFd fd_;
};

}  // namespace fwu::cli
