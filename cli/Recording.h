// The records of one upload or station: its invocation, begun before any port
// is opened and ended with its tally, and every run that ended, committed
// before its result is shown.
//
// Threads: the thread that writes the output alone (never a run's): it
// commits, then prints, so that nothing printed is unrecorded and no line
// waits for the disk.
#pragma once

#include "cli/Arguments.h"
#include "cli/Firmware.h"
#include "cli/PortRun.h"
#include "cli/ResultText.h"
#include "records/Records.h"

#include <optional>
#include <span>
#include <string>

namespace fwu::cli {

// Exit status when the records cannot be written (EX_IOERR).
inline constexpr int kExitCannotRecord = 74;

// The firmware as the records name it: absolute path, size and SHA-256 (of
// the bytes that were read; empty when none were).
struct FirmwareFacts {
  std::string path;
  std::int64_t size = 0;
  std::string sha256;
};
FirmwareFacts FactsOf(const std::string& utf8Path, const FirmwareFile& firmware);

// Where `command` records: its --record FILE, else for a station the default
// file, unless --no-record; empty for none.
std::string RecordFileOf(const Command& command);

// The records of a --port or --watch run; one that records nothing (no
// file) takes every call and writes nothing.
class Recording {
 public:
  // Opens RecordFileOf(command) for writing (a station's default file gets
  // its folder made, for the user alone) and begins the invocation; none and
  // the problem when it cannot, and then fwupload ends with kExitCannotRecord
  // before it opens any port.
  static records::Result<Recording> Begin(const Command& command, const FirmwareFacts& firmware);

  // The file, or empty when nothing is recorded.
  const std::string& File() const { return file_; }
  // The runs that ended (with an outcome, or stopped), in one transaction;
  // the problem, or empty.
  std::string Commit(std::span<const PortRun* const> runs);
  std::string End(const Tally& tally, int exitStatus);

 private:
  std::string file_;
  std::optional<records::RecordFile> records_;
  std::int64_t invocationId_ = 0;
  FirmwareFacts firmware_;
  std::string host_;
};

}  // namespace fwu::cli
