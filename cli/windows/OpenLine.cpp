#include "cli/Platform.h"
#include "cli/windows/SerialChannels.h"
#include "cli/windows/Wide.h"

#include "bridge/RuntimeLine.h"
#include "runtime/serial/Serial.h"

namespace fwu::cli {
namespace {

// A channel opened with -1, closed with the line.
class ChannelLine : public RuntimeSerialLine {
 public:
  explicit ChannelLine(std::int64_t channel) : RuntimeSerialLine(channel), channel_(channel) {}
  ChannelLine(const ChannelLine&) = delete;
  ChannelLine& operator=(const ChannelLine&) = delete;
  ~ChannelLine() override { SerialClose(channel_); }

 private:
  std::int64_t channel_;
};

}  // namespace

LineOpening OpenLine(const std::string& port) {
  EnsureSerialChannels();
  std::int64_t channel = SerialOpen(-1, Widened(port).c_str(), kBaudRate, NOPARITY, kDataBits, 1.0f,
                                    kSerialNoHandshake, kInputQueueBytes, kOutputQueueBytes);
  if (!channel) return {};
  return {std::make_unique<ChannelLine>(channel), {}};
}

}  // namespace fwu::cli
