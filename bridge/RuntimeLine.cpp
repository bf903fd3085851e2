#include "bridge/RuntimeLine.h"

#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"

std::int64_t RuntimeSerialLine::Write(std::span<const std::uint8_t> bytes) {
  return SerialWrite(channel_, bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::int64_t RuntimeSerialLine::OutputPending() { return SerialOutputPending(channel_); }

std::int64_t RuntimeSerialLine::InputPending() { return SerialInputPending(channel_); }

std::int64_t RuntimeSerialLine::Read(std::span<std::uint8_t> into) {
  return SerialRead(channel_, into.data(), static_cast<std::int64_t>(into.size()));
}

void RuntimeClock::Delay(std::chrono::milliseconds duration) { DelayMs(duration.count()); }

std::chrono::steady_clock::duration RuntimeClock::Now() {
  return std::chrono::steady_clock::now().time_since_epoch();
}
