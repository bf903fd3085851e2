// The firmware file, read once at start; every port's run reads the same
// bytes through a source of its own.
#pragma once

#include "protocol/UploadEngine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace fwu::cli {

// The file's bytes, or why it cannot be sent.
struct FirmwareFile {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
  std::string problem;  // empty once the whole file was read

  bool Read() const { return problem.empty(); }
  std::span<const std::uint8_t> Bytes() const { return {bytes.get(), size}; }
};

// The most fwupload holds: eleven hours of a serial line at 57600 baud, far
// beyond any firmware sent over one.
inline constexpr std::uint64_t kMostFirmware = std::uint64_t{256} << 20;

// The whole file at `utf8Path`, held in no more memory than its size. Gives a
// problem when it is missing, a folder, not a regular file, not readable,
// over kMostFirmware or too big to hold, or changed while it was read (written
// or replaced: its size, change time or identity moved); it stops reading
// (with a problem) once `interrupted` is set.
FirmwareFile ReadFirmwareFile(const std::string& utf8Path, const std::atomic<bool>& interrupted);

// One run's reading of bytes that outlive it.
class FirmwareBytes : public FirmwareSource {
 public:
  explicit FirmwareBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint8_t NextByte() override { return next_ < bytes_.size() ? bytes_[next_++] : 0; }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t next_ = 0;
};

}  // namespace fwu::cli
