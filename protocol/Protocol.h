// The upload protocol's constants and arithmetic: the one place where they
// are written, for every program of the product.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace fwu {

// --- The line -----------------------------------------------------------------
// 57600 baud, 8 data bits, no parity, one stop bit, no flow control.
inline constexpr std::uint32_t kBaudRate = 57600;
inline constexpr int kDataBits = 8;
// A byte on the wire: start bit, 8 data bits, stop bit (173.6 us).
inline constexpr std::chrono::nanoseconds kByteTime{std::chrono::nanoseconds(std::chrono::seconds(10)) / kBaudRate};
// Driver queue sizes the upload asks for.
inline constexpr std::int32_t kInputQueueBytes = 16;
inline constexpr std::int32_t kOutputQueueBytes = 0x80000;

// --- The exchange -------------------------------------------------------------
// The file's first bytes, sent in one write before the first answer.
inline constexpr std::size_t kHeaderBytes = 16;
// The device's answer, twice a run: exactly these two bytes, 'O' 'K'.
inline constexpr std::array<std::uint8_t, 2> kAcknowledgement{0x4F, 0x4B};
// A reply is complete when exactly this many bytes are pending.
inline constexpr std::int64_t kReplyBytes = 2;
// Polls of kPollInterval in a reply wait before the device counts as silent.
inline constexpr int kReplyPolls = 5000;
inline constexpr std::chrono::milliseconds kPollInterval{1};
// The pause between opening the port and draining it.
inline constexpr std::chrono::milliseconds kSettleDelay{100};
// How long the line may take none of the bytes offered (or send none of those
// it holds) before the device counts as not responding: as long as a reply
// wait.
inline constexpr std::chrono::milliseconds kLineStall{5000};
// Size of each of the run's two exchange buffers; the drain reads at most
// this many bytes at a time.
inline constexpr std::size_t kExchangeBufferSize = 17;
using ExchangeBuffer = std::array<std::uint8_t, kExchangeBufferSize>;

// True for the device's acknowledgement.
bool IsAcknowledgement(std::span<const std::uint8_t> reply);

// The percentage shown after body byte `index` (1..length) of `length`:
// i x 100.0 / n in double precision, truncated toward zero, so exactly 100 on
// the last byte.
std::int64_t ProgressPercent(std::int64_t index, std::int64_t length);

// The body length of a file of `fileSize` bytes: what follows the header,
// negative when the file is shorter than the header.
std::int64_t BodyLength(std::int64_t fileSize);

}  // namespace fwu
