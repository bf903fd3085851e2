// The upload engine: one run of the protocol over a line and a firmware
// source its caller has opened, from the settle after opening to the second
// answer.
//
// The wire sequence: after kSettleDelay, whatever the device sent before is
// drained; the file's first kHeaderBytes go in one write (re-offered until
// the line has taken them all); once the line reports them sent, the first
// reply wait; then the body at the run's pace; then, once the line reports
// nothing pending after the body's last byte, the second reply wait. A reply wait
// polls every kPollInterval and ends only when exactly kReplyBytes are
// pending; a reply completing on the kReplyPolls-th poll counts as none.
//
// Waiting for a body byte to leave: one poll right after the write (a pty,
// or a UART with room in its FIFO, reports 0 at once); then, while the byte
// is pending, the clock pauses between polls (Clock::PauseBetweenPolls): first
// for the completion time the run has learnt (CompletionEstimate), then from
// a quarter of a byte time on the wire, twice as long each time, up to
// kPollInterval. A clock that does not pause makes this the busy poll of the
// window.
//
// The body at Pace::kByte: one byte per write, each written only once the
// line reports nothing pending. At Pace::kStream: writes of up to
// kStreamWriteBytes that keep at most kStreamQueueBytes pending in the
// driver, topped up every kPollInterval, so that a line which holds a write
// for a transfer's time still never lets the wire wait. The bytes the line
// has taken are those written less those pending (never more than written,
// never fewer than before); a count of untaken bytes that comes no lower for
// kLineStall ends the run as kNoResponse.
//
// A run that ends stopped or failed on a line that still works throws away
// what the line still holds (SerialLine::DiscardOutput), so that no byte of
// it reaches the device after the run.
//
// Threads: a run object and the objects it is given belong to the thread that
// calls Run; several runs on different lines may go at once.
#pragma once

#include "protocol/CompletionEstimate.h"
#include "protocol/Outcome.h"
#include "protocol/Pace.h"
#include "protocol/Protocol.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace fwu {

// At Pace::kStream: the most bytes the run keeps pending in the driver (356 ms
// of the wire: a run whose thread a loaded machine holds up that long still
// keeps the wire busy; a stop throws them away), and the most it offers in
// one write (22 ms of the wire: on a line
// whose write returns only once the wire has taken the bytes, a stop is
// still seen well within 50 ms).
inline constexpr std::int64_t kStreamQueueBytes = 2048;
inline constexpr std::size_t kStreamWriteBytes = 128;

// The serial line, open and configured by the caller.
// Return rules: Write gives the bytes the line took (0 when it took none this
// time); the pending counts give what the driver reports; Read blocks until
// it has `into.size()` bytes and gives the count it delivered. Any of them
// gives a negative value when the line has failed for good (a device
// unplugged, a hang-up): the run then ends at once as kNoResponse.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual std::int64_t Write(std::span<const std::uint8_t> bytes) = 0;
  // Bytes written and not yet sent.
  virtual std::int64_t OutputPending() = 0;
  // Bytes received and not yet read.
  virtual std::int64_t InputPending() = 0;
  // Ask for no more than InputPending reported.
  virtual std::int64_t Read(std::span<std::uint8_t> into) = 0;
  // Throws away what was written and not yet sent. The default keeps it.
  virtual void DiscardOutput() {}
};

// The firmware file, open for reading.
class FirmwareSource {
 public:
  virtual ~FirmwareSource() = default;
  // The next byte; 0 past the end of the file.
  virtual std::uint8_t NextByte() = 0;
  // The file's size in bytes, asked once the header has been answered.
  virtual std::int64_t Size() = 0;
};

// Waiting and a monotonic clock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Delay(std::chrono::milliseconds duration) = 0;
  virtual std::chrono::steady_clock::duration Now() = 0;
  // Between two polls of a line that still holds a body byte: wait about
  // `duration` (more than 0, at most kPollInterval; mostly well under it).
  // The default does not wait, and the line is polled again at once. A clock
  // that sleeps here spares a processor core per port on a real adapter, where
  // a byte stays pending for up to a millisecond.
  virtual void PauseBetweenPolls(std::chrono::nanoseconds /*duration*/) {}
};

// What the caller hears of a run while it goes on.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // After each body byte the line has taken: the percentage (ProgressPercent)
  // and the body bytes taken so far.
  virtual void Progress(std::int64_t /*percent*/, std::int64_t /*bodyBytes*/) {}
  // A reply wait begins (after the header, after the body); it lasts until
  // the next Progress or the run's end.
  virtual void AwaitingAnswer() {}
  // Asked before every step: true ends the run there, with no outcome.
  virtual bool StopRequested() { return false; }
};

// The run's two buffers: what the device answered, and what goes to it.
struct ExchangeBuffers {
  ExchangeBuffer reply{};
  ExchangeBuffer send{};
};

class UploadRun {
 public:
  // The run uses `buffers` (its own, when none are given), sends the body at
  // `pace`, and keeps references to everything it is given.
  UploadRun(SerialLine& line, FirmwareSource& firmware, Clock& clock, RunObserver& observer,
            ExchangeBuffers& buffers, Pace pace = Pace::kByte);
  UploadRun(SerialLine& line, FirmwareSource& firmware, Clock& clock, RunObserver& observer,
            Pace pace = Pace::kByte);
  UploadRun(const UploadRun&) = delete;
  UploadRun& operator=(const UploadRun&) = delete;

  // The whole exchange; no value when the observer asked the run to stop.
  std::optional<Outcome> Run();

 private:
  Outcome Exchange();
  void DrainStaleInput();
  bool SendHeader();
  bool SendBody(std::int64_t length);
  bool StreamBody(std::int64_t length);
  bool WriteAll(std::size_t count);
  bool AwaitHeaderSent();
  bool AwaitByteSent();
  // A pause between polls; none when `duration` is zero.
  void Pause(std::chrono::nanoseconds duration);
  bool AwaitReply();
  bool ReadReply();
  // Whether the run may take its next step; false once a stop was asked for
  // or the line has failed.
  bool GoOn();
  // Passes a line call's result on, noting a failed line.
  std::int64_t Checked(std::int64_t result);

  SerialLine& line_;
  FirmwareSource& firmware_;
  Clock& clock_;
  RunObserver& observer_;
  ExchangeBuffers ownBuffers_;
  ExchangeBuffers& buffers_;
  Pace pace_;
  CompletionEstimate completion_;
  bool stopped_ = false;
  bool lineFailed_ = false;
};

}  // namespace fwu
