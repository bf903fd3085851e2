#include "cli/Platform.h"
#include "cli/windows/PortName.h"
#include "cli/windows/SerialChannels.h"
#include "cli/windows/SystemMessage.h"
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

// What a failed open's error means for the person at the port, and what to
// do about it where that is known.
struct Meaning {
  std::string what;
  std::string advice;
};

Meaning MeaningOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {"no such port", "check the name against fwupload --list, and that the adapter is plugged in"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return {"held by another program, or not permitted",
              "close the terminal or tool that has the port open, then try again"};
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
      return {"not a serial port", {}};
    case ERROR_INVALID_PARAMETER:
      return {"the port refused the line settings (" + std::to_string(kBaudRate) + " baud, 8N1)", {}};
    default:
      return {};
  }
}

// The reason for a failed open, from the error the open left behind: what it
// means, the system's words, what to do. Empty when the open left no error
// (the system was not asked, or memory ran out).
std::string OpenFailureReason(DWORD error) {
  if (error == ERROR_SUCCESS) return {};
  Meaning meaning = MeaningOf(error);
  std::string reason = SystemMessage(error);
  if (!meaning.what.empty()) reason = meaning.what + " (" + reason + ")";
  if (!meaning.advice.empty()) reason += "; " + meaning.advice;
  return reason;
}

}  // namespace

LineOpening OpenLine(const std::string& port) {
  EnsureSerialChannels();
  std::wstring name = Widened(BarePortName(port));
  // The runtime's open reports failure as 0 alone: the system's error is the
  // one its failed call left on this thread.
  SetLastError(ERROR_SUCCESS);
  std::int64_t channel = SerialOpen(-1, name.c_str(), kBaudRate, NOPARITY, kDataBits, 1.0f, kSerialNoHandshake,
                                    kInputQueueBytes, kOutputQueueBytes);
  if (!channel) return {nullptr, OpenFailureReason(GetLastError())};
  return {std::make_unique<ChannelLine>(channel), {}};
}

}  // namespace fwu::cli
