// The upload engine's line and clock on the runtime: a serial channel by its
// number, and the runtime's delays. The window and the Windows console
// uploader both run the engine through these.
//
// The runtime reports a failed driver call as 0, never as a failed line, so
// a run on these waits out its time limits as the window always has.
#pragma once

#include "protocol/UploadEngine.h"

#include <cstdint>

class RuntimeSerialLine : public fwu::SerialLine {
 public:
  // `channel` is an open serial channel's number; the line does not own it.
  explicit RuntimeSerialLine(std::int64_t channel) : channel_(channel) {}
  std::int64_t Write(std::span<const std::uint8_t> bytes) override;
  std::int64_t OutputPending() override;
  std::int64_t InputPending() override;
  std::int64_t Read(std::span<std::uint8_t> into) override;

 private:
  std::int64_t channel_;
};

class RuntimeClock : public fwu::Clock {
 public:
  void Delay(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::duration Now() override;
};
