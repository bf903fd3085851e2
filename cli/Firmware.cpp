// The file is opened once and told about through what was opened: its kind
// and size before the read, and every fact again after it, so that a file
// written or replaced meanwhile is never sent as a mix of two images. It is
// held in one block of its size, read in pieces, with a look at the
// interrupt between them: a file of hundreds of megabytes takes a while, and
// Ctrl+C must not wait for it.
#include "cli/Firmware.h"

#include "cli/InputFile.h"

#include <algorithm>
#include <new>

namespace fwu::cli {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

FirmwareFile Problem(std::string problem) {
  FirmwareFile file;
  file.problem = std::move(problem);
  return file;
}

std::string CannotRead(const std::string& name, const std::string& error) { return "cannot read " + name + ": " + error; }

// Why the open file is none to send, or empty.
std::string NotAFirmwareFile(const FileFacts& facts, const std::string& name) {
  if (facts.kind == FileFacts::Kind::kFolder) return name + " is a folder, not a firmware file";
  if (facts.kind != FileFacts::Kind::kRegular) return name + " is not a regular file";
  if (facts.size > kMostFirmware)
    return name + " is too big (" + std::to_string(facts.size) + " bytes): no firmware for a serial line is over " +
           std::to_string(kMostFirmware >> 20) + " MiB";
  return {};
}

}  // namespace

FirmwareFile ReadFirmwareFile(const std::string& utf8Path, const std::atomic<bool>& interrupted) {
  InputFileOpening opening = OpenInputFile(utf8Path);
  if (!opening.file)
    return Problem(opening.missing ? "no such file: " + utf8Path : CannotRead(utf8Path, opening.error));
  std::string error;
  std::optional<FileFacts> before = opening.file->Facts(error);
  if (!before) return Problem(CannotRead(utf8Path, error));
  if (std::string problem = NotAFirmwareFile(*before, utf8Path); !problem.empty()) return Problem(problem);

  FirmwareFile file;
  file.size = static_cast<std::size_t>(before->size);
  file.bytes.reset(new (std::nothrow) std::uint8_t[file.size]);
  if (!file.bytes) return Problem(utf8Path + " is too big to hold in memory (" + std::to_string(file.size) + " bytes)");
  std::size_t done = 0;
  for (std::int64_t count = 1; count > 0 && done <= file.size;) {
    if (interrupted.load()) return Problem("interrupted");
    // One byte past the size, to see whether the file grew.
    std::uint8_t past = 0;
    std::span<std::uint8_t> into = done < file.size ? std::span(file.bytes.get() + done, std::min(kPiece, file.size - done))
                                                    : std::span(&past, 1);
    count = opening.file->Read(into, error);
    if (count < 0) return Problem(CannotRead(utf8Path, error));
    done += static_cast<std::size_t>(count);
  }
  std::optional<FileFacts> after = opening.file->Facts(error);
  if (done != file.size || !after || *after != *before)
    return Problem(utf8Path + " changed while it was read; try again once it is written");
  return file;
}

}  // namespace fwu::cli
