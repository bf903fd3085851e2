#include "app/UploadSteps.h"

bool IsAcknowledgement(std::span<const std::uint8_t> reply) {
  return reply.size() >= 2 && reply[0] == 0x4F && reply[1] == 0x4B;
}

std::int64_t ProgressPercent(std::int64_t index, std::int64_t length) {
  return static_cast<std::int64_t>(static_cast<double>(index) * 100.0 / static_cast<double>(length));
}

std::int64_t BodyLength(std::int64_t fileSize) { return fileSize - static_cast<std::int64_t>(kHeaderBytes); }
