#include "cli/Firmware.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fwu::cli {

// Paths arrive as UTF-8; made from char8_t, the path gives Windows the wide
// name.
std::optional<std::vector<std::uint8_t>> ReadFirmwareFile(const std::string& utf8Path) {
  const std::filesystem::path path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8Path.data()), utf8Path.size()));
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return std::nullopt;
  return bytes;
}

}  // namespace fwu::cli
