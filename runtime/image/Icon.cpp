// Icons from icon files in memory: the first directory entry whose picture
// lies inside the block becomes the icon.
#include "Image.h"

#include <cstring>

namespace {

constexpr std::size_t kDirectoryHeader = 6;
constexpr std::size_t kDirectoryEntry = 16;

template <class T>
T ValueAt(const std::byte* block, std::size_t offset) {
  T value;
  std::memcpy(&value, block + offset, sizeof value);
  return value;
}

UniqueIcon IconFromEntry(const std::byte* data, DWORD bytes) {
  auto* bits = reinterpret_cast<PBYTE>(const_cast<std::byte*>(data));
  HICON icon = CreateIconFromResourceEx(bits, bytes, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
  if (!icon) icon = CreateIconFromResource(bits, bytes, TRUE, 0x00030000);
  return UniqueIcon(icon);
}

}  // namespace

UniqueIcon IconFromMemory(const void* address, std::int64_t size) {
  const auto* block = static_cast<const std::byte*>(address);
  auto blockSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
  if (!block || blockSize < static_cast<std::int32_t>(kDirectoryHeader)) return {};
  if (ValueAt<std::uint16_t>(block, 0) != 0 || ValueAt<std::uint16_t>(block, 2) != 1) return {};
  auto available = static_cast<std::size_t>(blockSize);
  std::size_t count = ValueAt<std::uint16_t>(block, 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t entry = kDirectoryHeader + i * kDirectoryEntry;
    if (entry + kDirectoryEntry > available) break;
    std::size_t bytes = ValueAt<std::uint32_t>(block, entry + 8);
    std::size_t offset = ValueAt<std::uint32_t>(block, entry + 12);
    if (bytes == 0 || offset > available || bytes > available - offset) continue;
    if (UniqueIcon icon = IconFromEntry(block + offset, static_cast<DWORD>(bytes))) return icon;
  }
  return {};
}
