// The upload worker. It owns file 0, serial channel 0 and the two exchange
// buffers for the length of its run (the input controls are disabled, and
// the gate lets no second run start); it writes the progress value, which the
// refresher reads.
//
// When the program closes during a run, the worker stops at its next step
// without a report, so that shut-down never closes the file or the port
// under it (UploadGate).
#include "app/UploadRun.h"

#include "app/InputControls.h"
#include "app/UpdaterState.h"
#include "app/UploadFinish.h"
#include "app/UploadGate.h"
#include "app/UploadSteps.h"
#include "runtime/control/Control.h"
#include "runtime/file/File.h"
#include "runtime/serial/Serial.h"
#include "runtime/thread/Thread.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

namespace {

constexpr std::int64_t kChannel = 0;
constexpr std::int64_t kFile = 0;
// How long the port may take none of the bytes offered before the device
// counts as not responding: as long as a reply wait.
constexpr std::chrono::milliseconds kWriteStall(kReplyPolls);

// Throws away what the device sent before the run, at most a buffer's worth
// per read, until every byte that was pending then is gone.
void DrainStaleInput() {
  std::int64_t left = SerialInputPending(kChannel);
  while (left > 0 && !UploadCancelled()) {
    std::int64_t chunk = std::min<std::int64_t>(left, kExchangeBufferSize);
    std::int64_t read = SerialRead(kChannel, g_updater.replyBuffer.data(), chunk);
    if (read <= 0) break;
    left -= read;
  }
}

void WaitForOutputSent(bool sleepBetweenPolls) {
  do {
    if (sleepBetweenPolls) DelayMs(1);
  } while (SerialOutputPending(kChannel) != 0 && !UploadCancelled());
}

// Waits for a reply of exactly kReplyBytes pending bytes; false when the
// device stays silent for kReplyPolls polls of 1 ms (a reply completing on the
// last poll included) or the run is stopping.
bool AwaitReply() {
  int polls = 0;
  do {
    DelayMs(1);
    ++polls;
  } while (SerialInputPending(kChannel) != kReplyBytes && polls != kReplyPolls && !UploadCancelled());
  return polls != kReplyPolls && !UploadCancelled();
}

bool ReplyIsAcknowledgement() {
  SerialRead(kChannel, g_updater.replyBuffer.data(), kReplyBytes);
  return IsAcknowledgement(std::span(g_updater.replyBuffer).first(kReplyBytes));
}

// Writes `count` bytes of the send buffer, offering again whatever the port
// did not take: when a slow line backs up, a write times out having taken
// less, and a byte left out would reach the device as a corrupt firmware.
// False when the port took nothing for kWriteStall, or the run is stopping.
bool WriteFully(std::size_t count) {
  const std::uint8_t* next = g_updater.sendBuffer.data();
  std::optional<std::chrono::steady_clock::time_point> stalledSince;
  while (count > 0 && !UploadCancelled()) {
    std::int64_t written = SerialWrite(kChannel, next, static_cast<std::int64_t>(count));
    if (written > 0) {
      next += written;
      count -= static_cast<std::size_t>(written);
      stalledSince.reset();
      continue;
    }
    auto now = std::chrono::steady_clock::now();
    if (!stalledSince) stalledSince = now;
    if (now - *stalledSince >= kWriteStall) return false;
    DelayMs(1);
  }
  return count == 0;
}

bool SendHeader() {
  for (std::size_t i = 0; i < kHeaderBytes; ++i)
    g_updater.sendBuffer[i] = static_cast<std::uint8_t>(FileReadByte(kFile));
  return WriteFully(kHeaderBytes);
}

bool SendBody(std::int64_t length) {
  for (std::int64_t i = 1; i <= length; ++i) {
    g_updater.sendBuffer[0] = static_cast<std::uint8_t>(FileReadByte(kFile));
    if (!WriteFully(1)) return false;
    g_updater.progress = ProgressPercent(i, length);
    WaitForOutputSent(false);
  }
  return true;
}

// The protocol, from opening the file to the second answer.
UploadOutcome Exchange() {
  std::wstring path = ControlGetText(g_updater.firmwarePathField);
  if (!FileOpenRead(kFile, path.c_str())) return UploadOutcome::kFirmwareMissing;
  std::wstring port = ControlGetText(g_updater.portList);
  if (!SerialOpen(kChannel, port.c_str(), 57600, 0, 8, 1.0f, 0, 16, 0x80000))
    return UploadOutcome::kPortUnavailable;
  DelayMs(100);
  DrainStaleInput();

  if (!SendHeader()) return UploadOutcome::kNoResponse;
  WaitForOutputSent(true);
  if (!AwaitReply()) return UploadOutcome::kNoResponse;
  if (!ReplyIsAcknowledgement()) return UploadOutcome::kWrongFirstAnswer;

  if (!SendBody(BodyLength(FileSize(ControlGetText(g_updater.firmwarePathField).c_str()))))
    return UploadOutcome::kNoResponse;
  if (!AwaitReply()) return UploadOutcome::kNoResponse;
  return ReplyIsAcknowledgement() ? UploadOutcome::kSuccess : UploadOutcome::kWrongSecondAnswer;
}

std::int64_t UploadWorker(std::int64_t /*eventType*/) {
  TextAreaEnter();
  g_updater.progress = 0;
  InputControlsDisable(1);
  UploadOutcome outcome = Exchange();
  // A run the closing program stopped reports nothing; shut-down closes the
  // file and the port once the worker has left the gate.
  if (UploadCancelled())
    UploadGateLeave();
  else
    UploadFinish(outcome);
  return 0;
}

}  // namespace

void UploadStart(std::int64_t eventType) {
  if (!UploadGateEnter()) return;
  if (!ThreadStart(UploadWorker, eventType)) UploadGateLeave();
}
