// The firmware file, read once at start; every port's run reads the same
// bytes through a source of its own.
#pragma once

#include "protocol/UploadEngine.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fwu::cli {

// The whole file; nothing when it is missing, is not a regular file, or
// cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFirmwareFile(const std::string& path);

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
