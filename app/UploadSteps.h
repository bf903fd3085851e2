// The protocol arithmetic of an upload run, apart from any port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kHeaderBytes = 16;
// Polls of 1 ms in a reply wait before the device counts as silent.
inline constexpr int kReplyPolls = 5000;
// A reply is complete when exactly this many bytes are pending.
inline constexpr std::int64_t kReplyBytes = 2;

// True for the device's acknowledgement, the two bytes 'O' 'K'.
bool IsAcknowledgement(std::span<const std::uint8_t> reply);

// The percentage shown after body byte `index` (1..length) of `length`:
// truncated toward zero, exactly 100 on the last byte.
std::int64_t ProgressPercent(std::int64_t index, std::int64_t length);

// The body length of a file of `fileSize` bytes: what follows the header,
// negative when the file is shorter than the header.
std::int64_t BodyLength(std::int64_t fileSize);
