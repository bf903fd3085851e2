#include "cli/Firmware.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fwu::cli {

std::optional<std::vector<std::uint8_t>> ReadFirmwareFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return std::nullopt;
  return bytes;
}

}  // namespace fwu::cli
