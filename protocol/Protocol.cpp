#include "protocol/Protocol.h"

#include <algorithm>

namespace fwu {

bool IsAcknowledgement(std::span<const std::uint8_t> reply) {
  return reply.size() >= kAcknowledgement.size() &&
         std::equal(kAcknowledgement.begin(), kAcknowledgement.end(), reply.begin());
}

std::int64_t ProgressPercent(std::int64_t index, std::int64_t length) {
  return static_cast<std::int64_t>(static_cast<double>(index) * 100.0 / static_cast<double>(length));
}

std::int64_t BodyLength(std::int64_t fileSize) { return fileSize - static_cast<std::int64_t>(kHeaderBytes); }

}  // namespace fwu
