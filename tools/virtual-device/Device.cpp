#include "Device.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kHeaderSize = 16;
// The program waits 5000 polls of 1 ms for an answer; a little more here.
constexpr auto kReplyWindow = 6s;
// How often the line settings and the stop condition are looked at.
constexpr auto kLookInterval = 5ms;
// When the device cannot look at what the program has read, the time it
// gives the program to read an answer: a program waiting for one looks every
// millisecond or so.
constexpr auto kBlindReadTime = 50ms;
constexpr long kEventStep = 1024;
constexpr long kProgressStep = 16384;

timespec TimespecOf(std::chrono::nanoseconds wait) {
  if (wait < 0ns) wait = 0ns;
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
  return {static_cast<time_t>(seconds.count()), static_cast<long>((wait - seconds).count())};
}

// True when the master became readable within `wait`. While no program has
// the line open the master reports a hang-up at once: the wait is then slept.
bool WaitReadable(int fd, bool forInput, std::chrono::nanoseconds wait) {
  pollfd entry{fd, static_cast<short>(forInput ? POLLIN : 0), 0};
  timespec timeout = TimespecOf(wait);
  if (ppoll(&entry, 1, &timeout, nullptr) <= 0) return false;
  if (entry.revents & POLLIN) return true;
  if (entry.revents & POLLHUP) nanosleep(&timeout, nullptr);
  return false;
}

}  // namespace

Device::Device(const Options& options, Pty& pty, Reporter& reporter)
    : options_(options), pty_(pty), reporter_(reporter), pacer_(options.paceBaud) {}

void Device::Run(const std::function<bool()>& stopRequested) {
  while (phase_ != Phase::Ended && !stopRequested()) {
    ReportOpens();
    ReportSettingsChange();
    auto now = Clock::now();
    Tick(now);
    if (phase_ == Phase::Ended) break;
    auto wait = NextWait(now);
    bool paced = pacer_.Waiting(now);
    if (WaitReadable(pty_.Master(), !paced, wait)) {
      ReadAvailable(Clock::now());
      if (options_.readIntervalMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options_.readIntervalMs));
    } else if (!paced)
      pacer_.Idle();
  }
  // Opens since the last look are reported too, so that the events tell
  // every open once the device has ended.
  ReportOpens();
}

void Device::ReportSettingsChange() {
  LineSettings line = pty_.Settings();
  if (!anyReported_ || !line.SameFormat(reported_)) {
    reporter_.Event("settings " + line.Format());
    reporter_.Progress("line " + line.Format());
  }
  if (!anyReported_ || !line.SameFlow(reported_)) reporter_.Event("flow " + line.FormatFlow());
  reported_ = line;
  anyReported_ = true;
}

void Device::ReportOpens() {
  for (long n = pty_.OpensByPrograms(); n > 0; --n) {
    reporter_.Event("open " + std::to_string(++opens_));
    reporter_.Progress("line opened by a program");
  }
}

std::size_t Device::ReadLimit(Clock::time_point now) {
  std::size_t limit = 4096;
  if (pacer_.Active()) limit = std::min(limit, pacer_.Allowance(now));
  if (phase_ == Phase::Header) limit = std::min(limit, kHeaderSize - header_.size());
  if (phase_ == Phase::Body && options_.hangUpAfter)
    limit = std::min(limit, static_cast<std::size_t>(std::max(0L, *options_.hangUpAfter - bodyBytes_)));
  return limit;
}

void Device::ReadAvailable(Clock::time_point now) {
  std::size_t limit = ReadLimit(now);
  if (limit == 0) return;
  std::uint8_t buffer[4096];
  ssize_t count = read(pty_.Master(), buffer, limit);
  if (count <= 0) return;
  auto bytes = static_cast<std::size_t>(count);
  pacer_.Consumed(bytes);
  if (pty_.UnreadByDevice() == 0) pacer_.Idle();
  reporter_.Received(buffer, bytes);
  // Settings as they are now, after the bytes came: the program sets the line
  // before it writes.
  Feed(buffer, bytes, pty_.Settings(), now);
}

void Device::Feed(const std::uint8_t* bytes, std::size_t count, const LineSettings& line,
                  Clock::time_point now) {
  long ignored = 0;
  std::size_t i = 0;
  while (i < count) {
    if (phase_ == Phase::FirstAnswerRead || phase_ == Phase::SecondAnswer) {
      Drop("program-sent-again");  // the byte starts the next header
      continue;
    }
    if (phase_ == Phase::FirstAnswer || phase_ == Phase::Body)
      CountBody(now);
    else if (phase_ == Phase::Header && !line.IsUpload())
      ++ignored;
    else if (phase_ == Phase::Header)
      FeedHeader(bytes[i], now);
    ++i;
  }
  if (ignored) reporter_.Event("ignored " + std::to_string(ignored) + " " + line.Format());
}

void Device::FeedHeader(std::uint8_t byte, Clock::time_point now) {
  header_.push_back(byte);
  if (header_.size() < kHeaderSize) return;
  reporter_.Event("header " + FormatHex(header_));
  phase_ = Phase::FirstAnswer;
  due_ = now + std::chrono::milliseconds(options_.answerDelayMs);
}

void Device::CountBody(Clock::time_point now) {
  if (++bodyBytes_ == 1) firstBodyByte_ = now;
  lastActivity_ = now;
  if (bodyBytes_ % kEventStep == 0) reporter_.Event("body " + std::to_string(bodyBytes_));
  if (bodyBytes_ % kProgressStep == 0) {
    std::string line = "body " + std::to_string(bodyBytes_);
    if (options_.bodyLength) line.append("/").append(std::to_string(*options_.bodyLength));
    reporter_.Progress(line + " bytes");
  }
}

void Device::Tick(Clock::time_point now) {
  switch (phase_) {
    case Phase::FirstAnswer:
      if (now >= due_) SendFirstAnswer(now);
      break;
    case Phase::Body:
      if (options_.hangUpAfter && bodyBytes_ >= *options_.hangUpAfter)
        HangUp();
      else if (BodyComplete(now))
        EndBody(now);
      break;
    case Phase::FirstAnswerRead:
      if (ProgramHasRead(now)) {
        phase_ = Phase::SecondAnswer;
        due_ = now + std::chrono::milliseconds(options_.answerDelayMs);
      } else if (now >= due_) {
        Drop("first-answer-unread");
      }
      break;
    case Phase::SecondAnswer:
      if (now >= due_) SendSecondAnswer(now);
      break;
    case Phase::Finishing:
      // Leave once the last answer has been read, so closing the pty loses nothing.
      if (ProgramHasRead(now) || now >= due_) phase_ = Phase::Ended;
      break;
    case Phase::Header:
    case Phase::Ended:
      break;
  }
}

bool Device::ProgramHasRead(Clock::time_point now) const {
  if (auto unread = pty_.UnreadByProgram()) return *unread == 0;
  return now >= lastAnswer_ + kBlindReadTime;
}

std::string Device::AnswerText(const Bytes& answer) const {
  if (answer.empty()) return "no answer";
  if (answer == Bytes{0x4F, 0x4B}) return "answered OK";
  return "answered " + FormatHex(answer);
}

void Device::SendFirstAnswer(Clock::time_point now) {
  const Bytes& answer = options_.firstAnswer;
  if (!answer.empty()) pty_.Write(answer.data(), answer.size());
  lastAnswer_ = now;
  reporter_.Event("answer first " + (answer.empty() ? std::string("-") : FormatHex(answer)));
  reporter_.Progress("header received, " + AnswerText(answer));
  if (answer.empty()) {
    // Whatever came next would be taken for the answer the program waits for.
    StartSession();
    return;
  }
  phase_ = Phase::Body;
  lastActivity_ = now;
}

bool Device::BodyComplete(Clock::time_point now) const {
  if (options_.bodyLength) return bodyBytes_ >= *options_.bodyLength;
  return now - lastActivity_ >= std::chrono::milliseconds(options_.gapMs);
}

void Device::EndBody(Clock::time_point now) {
  reporter_.Event("body-end " + std::to_string(bodyBytes_));
  auto span = bodyBytes_ > 0 ? lastActivity_ - firstBodyByte_ : Clock::duration::zero();
  reporter_.Event("body-time " + std::to_string(bodyBytes_) + " " +
                  std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(span).count()));
  reporter_.Progress("body complete: " + std::to_string(bodyBytes_) + " bytes");
  phase_ = Phase::FirstAnswerRead;
  due_ = now + kReplyWindow;
}

void Device::SendSecondAnswer(Clock::time_point now) {
  const Bytes& answer = options_.secondAnswer;
  if (!answer.empty()) pty_.Write(answer.data(), answer.size());
  lastAnswer_ = now;
  long total = static_cast<long>(kHeaderSize) + bodyBytes_;
  reporter_.Event("answer second " + (answer.empty() ? std::string("-") : FormatHex(answer)));
  reporter_.Event("done " + std::to_string(total));
  reporter_.Progress("upload complete: " + std::to_string(total) + " bytes, " + AnswerText(answer));
  ++sessionsDone_;
  StartSession();
  if (options_.sessions > 0 && sessionsDone_ >= options_.sessions) {
    phase_ = Phase::Finishing;
    due_ = now + kReplyWindow;
  }
}

void Device::HangUp() {
  pty_.Close();
  reporter_.Event("hangup " + std::to_string(bodyBytes_));
  reporter_.Progress("hung up after " + std::to_string(bodyBytes_) + " body bytes");
  phase_ = Phase::Ended;
}

void Device::Drop(const char* reason) {
  reporter_.Event(std::string("dropped ") + reason);
  reporter_.Progress(std::string("session dropped: ") + reason);
  StartSession();
}

void Device::StartSession() {
  phase_ = Phase::Header;
  header_.clear();
  bodyBytes_ = 0;
}

Device::Clock::duration Device::NextWait(Clock::time_point now) const {
  Clock::duration wait = kLookInterval;
  auto until = [&](Clock::time_point t) { wait = std::min<Clock::duration>(wait, t - now); };
  if (phase_ == Phase::FirstAnswer || phase_ == Phase::SecondAnswer) until(due_);
  if (phase_ == Phase::Body && !options_.bodyLength) until(lastActivity_ + std::chrono::milliseconds(options_.gapMs));
  if (phase_ == Phase::FirstAnswerRead || phase_ == Phase::Finishing) wait = std::min<Clock::duration>(wait, 1ms);
  if (pacer_.Waiting(now)) until(pacer_.NextByteAt());
  return wait;
}
