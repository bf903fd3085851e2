// SHA-256 from the system's cryptography provider (BCrypt).
#include "cli/Platform.h"

#include "runtime/base/UniqueHandle.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <climits>

namespace fwu::cli {
namespace {

struct AlgorithmTraits {
  using Type = BCRYPT_ALG_HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type algorithm) noexcept { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashTraits {
  using Type = BCRYPT_HASH_HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type hash) noexcept { BCryptDestroyHash(hash); }
};
using UniqueAlgorithm = UniqueHandle<AlgorithmTraits>;
using UniqueHash = UniqueHandle<HashTraits>;

std::string Hex(std::span<const UCHAR> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (UCHAR byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

}  // namespace

// Empty when the system cannot hash (for want of memory: the provider is part
// of every Windows since Vista).
std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  BCRYPT_ALG_HANDLE opened = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return {};
  UniqueAlgorithm algorithm(opened);
  BCRYPT_HASH_HANDLE created = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &created, nullptr, 0, nullptr, 0, 0))) return {};
  UniqueHash hash(created);
  // BCryptHashData takes at most a ULONG's worth at a time.
  for (std::size_t done = 0; done < bytes.size();) {
    ULONG part = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - done, ULONG_MAX));
    if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), const_cast<PUCHAR>(bytes.data() + done), part, 0))) return {};
    done += part;
  }
  std::array<UCHAR, 32> digest{};
  if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) return {};
  return Hex(digest);
}

}  // namespace fwu::cli
