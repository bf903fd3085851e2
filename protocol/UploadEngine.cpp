#include "protocol/UploadEngine.h"

#include <algorithm>
#include <array>

namespace fwu {
namespace {

// Measures how long a line has made no headway with a count of bytes (those
// it holds, or those it has yet to take): the count makes headway only when it
// falls below its lowest since the watch began, so a count that goes up and
// down without draining runs out as one that stays.
class HeadwayWatch {
 public:
  explicit HeadwayWatch(Clock& clock) : clock_(clock) {}
  // True once `count` has come no lower for kLineStall.
  bool Stalled(std::int64_t count) {
    auto now = clock_.Now();
    if (!watching_ || count < lowest_) {
      watching_ = true;
      lowest_ = count;
      since_ = now;
    }
    return now - since_ >= kLineStall;
  }

 private:
  Clock& clock_;
  bool watching_ = false;
  std::int64_t lowest_ = 0;
  std::chrono::steady_clock::duration since_{};
};

}  // namespace

UploadRun::UploadRun(SerialLine& line, FirmwareSource& firmware, Clock& clock, RunObserver& observer,
                     ExchangeBuffers& buffers, Pace pace)
    : line_(line), firmware_(firmware), clock_(clock), observer_(observer), buffers_(buffers), pace_(pace) {}

UploadRun::UploadRun(SerialLine& line, FirmwareSource& firmware, Clock& clock, RunObserver& observer, Pace pace)
    : UploadRun(line, firmware, clock, observer, ownBuffers_, pace) {}

std::optional<Outcome> UploadRun::Run() {
  Outcome outcome = Exchange();
  if ((stopped_ || outcome != Outcome::kSuccess) && !lineFailed_) line_.DiscardOutput();
  if (stopped_) return std::nullopt;
  return outcome;
}

Outcome UploadRun::Exchange() {
  clock_.Delay(kSettleDelay);
  DrainStaleInput();
  if (!SendHeader() || !AwaitHeaderSent() || !AwaitReply() || !ReadReply())
    return Outcome::kNoResponse;
  if (!IsAcknowledgement(buffers_.reply)) return Outcome::kWrongFirstAnswer;
  std::int64_t length = BodyLength(firmware_.Size());
  bool sent = pace_ == Pace::kStream ? StreamBody(length) : SendBody(length);
  if (!sent || !AwaitReply() || !ReadReply())
    return Outcome::kNoResponse;
  return IsAcknowledgement(buffers_.reply) ? Outcome::kSuccess : Outcome::kWrongSecondAnswer;
}

bool UploadRun::GoOn() {
  if (!stopped_ && observer_.StopRequested()) stopped_ = true;
  return !stopped_ && !lineFailed_;
}

std::int64_t UploadRun::Checked(std::int64_t result) {
  if (result < 0) lineFailed_ = true;
  return result;
}

// Throws away what the device sent before the run, at most a buffer's worth
// per read, until every byte that was pending then is gone.
void UploadRun::DrainStaleInput() {
  std::int64_t left = Checked(line_.InputPending());
  while (left > 0 && GoOn()) {
    auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kExchangeBufferSize));
    std::int64_t read = Checked(line_.Read(std::span(buffers_.reply).first(chunk)));
    if (read <= 0) break;
    left -= read;
  }
}

bool UploadRun::SendHeader() {
  for (std::size_t i = 0; i < kHeaderBytes; ++i) buffers_.send[i] = firmware_.NextByte();
  return WriteAll(kHeaderBytes);
}

bool UploadRun::SendBody(std::int64_t length) {
  for (std::int64_t i = 1; i <= length; ++i) {
    buffers_.send[0] = firmware_.NextByte();
    if (!WriteAll(1)) return false;
    observer_.Progress(ProgressPercent(i, length), i);
    if (!AwaitByteSent()) return false;
  }
  return true;
}

// Each poll: the bytes the line has taken so far reported, then a write that
// tops what it holds up to kStreamQueueBytes (from a chunk of the file whose
// rest, when a write takes less, is offered again), then a pause. Done once
// every byte is written and the line reports none pending.
bool UploadRun::StreamBody(std::int64_t length) {
  if (length <= 0) return true;
  std::array<std::uint8_t, kStreamWriteBytes> chunk{};
  std::span<const std::uint8_t> unwritten;
  std::int64_t read = 0;
  std::int64_t written = 0;
  std::int64_t taken = 0;
  HeadwayWatch watch(clock_);
  while (GoOn()) {
    std::int64_t pending = Checked(line_.OutputPending());
    if (pending < 0) return false;
    for (std::int64_t now = std::clamp(written - pending, taken, written); taken < now;) {
      ++taken;
      observer_.Progress(ProgressPercent(taken, length), taken);
    }
    if (taken == length) return true;
    if (watch.Stalled(length - taken)) return false;
    if (unwritten.empty() && read < length) {
      auto count = static_cast<std::size_t>(std::min<std::int64_t>(length - read, kStreamWriteBytes));
      for (std::size_t i = 0; i < count; ++i) chunk[i] = firmware_.NextByte();
      read += static_cast<std::int64_t>(count);
      unwritten = std::span(chunk).first(count);
    }
    if (std::int64_t room = kStreamQueueBytes - pending; room > 0 && !unwritten.empty()) {
      auto offered = unwritten.first(std::min(unwritten.size(), static_cast<std::size_t>(room)));
      std::int64_t took = Checked(line_.Write(offered));
      if (took < 0) return false;
      took = std::min(took, static_cast<std::int64_t>(offered.size()));
      written += took;
      unwritten = unwritten.subspan(static_cast<std::size_t>(took));
    }
    clock_.Delay(kPollInterval);
  }
  return false;
}

// Writes the first `count` bytes of the send buffer, offering again whatever
// the line did not take: when a slow line backs up, a write ends having taken
// less, and a byte left out would reach the device as a corrupt firmware.
bool UploadRun::WriteAll(std::size_t count) {
  std::span<const std::uint8_t> rest = std::span(buffers_.send).first(count);
  HeadwayWatch watch(clock_);
  while (!rest.empty() && GoOn()) {
    std::int64_t written = Checked(line_.Write(rest));
    if (written > 0) {
      rest = rest.subspan(std::min(static_cast<std::size_t>(written), rest.size()));
    } else if (written == 0) {
      if (watch.Stalled(static_cast<std::int64_t>(rest.size()))) return false;
      clock_.Delay(kPollInterval);
    }
  }
  return rest.empty() && GoOn();
}

// Polls every kPollInterval until the line reports nothing pending; false
// when the count has come no lower for kLineStall.
bool UploadRun::AwaitHeaderSent() {
  HeadwayWatch watch(clock_);
  while (GoOn()) {
    clock_.Delay(kPollInterval);
    std::int64_t pending = Checked(line_.OutputPending());
    if (pending == 0) return true;
    if (watch.Stalled(pending)) return false;
  }
  return false;
}

// Polls at once; while the byte is pending, pauses for the learnt completion
// time and polls again, then pauses a quarter of a byte time, twice as long
// each further poll up to kPollInterval. False when the count has come no
// lower for kLineStall.
bool UploadRun::AwaitByteSent() {
  std::int64_t pending = Checked(line_.OutputPending());
  if (pending == 0) return true;
  if (!GoOn()) return false;
  Pause(completion_.Estimate());
  pending = Checked(line_.OutputPending());
  completion_.Learn(pending == 0);
  HeadwayWatch watch(clock_);
  for (auto pause = kByteTime / 4; pending != 0; pause = std::min<std::chrono::nanoseconds>(2 * pause, kPollInterval)) {
    if (!GoOn() || watch.Stalled(pending)) return false;
    Pause(pause);
    pending = Checked(line_.OutputPending());
  }
  return true;
}

void UploadRun::Pause(std::chrono::nanoseconds duration) {
  if (duration > std::chrono::nanoseconds::zero()) clock_.PauseBetweenPolls(duration);
}

bool UploadRun::AwaitReply() {
  observer_.AwaitingAnswer();
  int polls = 0;
  std::int64_t pending = 0;
  do {
    clock_.Delay(kPollInterval);
    ++polls;
    pending = Checked(line_.InputPending());
  } while (pending != kReplyBytes && polls != kReplyPolls && GoOn());
  return polls != kReplyPolls && GoOn();
}

// A read that does not bring both bytes is no answer, whatever the buffer
// held before: the bytes are cleared first. The reply wait has looked for a
// stop just before; none is looked for after the read, so an answer read is
// a run complete.
bool UploadRun::ReadReply() {
  auto reply = std::span(buffers_.reply).first(kReplyBytes);
  std::ranges::fill(reply, std::uint8_t{0});
  return Checked(line_.Read(reply)) == kReplyBytes;
}

}  // namespace fwu
