// The device's side of an upload: it reads the 16-byte header, answers,
// reads the body, and answers again once the body is complete.
//
// Only bytes that arrive while the line is at 57600 8N1 can start a header;
// others are logged and reported as ignored. The header is answered after
// --answer-delay-ms. The body ends after --body-length bytes, or, without
// it, after a quiet gap of --gap-ms. The second answer goes out only once the
// program has read everything the device sent before (for a header-only file
// the first answer may still be waiting); if it stays unread for the reply
// window, or the program starts sending again, that session is dropped.
#pragma once

#include "Options.h"
#include "Pacer.h"
#include "Pty.h"
#include "Reporter.h"

#include <chrono>
#include <csignal>
#include <functional>

class Device {
 public:
  using Clock = std::chrono::steady_clock;

  Device(const Options& options, Pty& pty, Reporter& reporter);
  // Serves uploads until `stopRequested` says so, the session limit is
  // reached or the device hangs up.
  void Run(const std::function<bool()>& stopRequested);

 private:
  enum class Phase { Header, FirstAnswer, Body, FirstAnswerRead, SecondAnswer, Finishing, Ended };

  void ReportSettingsChange();
  void ReportOpens();
  void ReadAvailable(Clock::time_point now);
  std::size_t ReadLimit(Clock::time_point now);
  void Feed(const std::uint8_t* bytes, std::size_t count, const LineSettings& line, Clock::time_point now);
  void FeedHeader(std::uint8_t byte, Clock::time_point now);
  void CountBody(Clock::time_point now);
  void Tick(Clock::time_point now);
  void SendFirstAnswer(Clock::time_point now);
  void EndBody(Clock::time_point now);
  void SendSecondAnswer(Clock::time_point now);
  void HangUp();
  void Drop(const char* reason);
  void StartSession();
  bool BodyComplete(Clock::time_point now) const;
  // Whether the program has read all the device sent; where the device
  // cannot look, once it has had kBlindReadTime since the last answer.
  bool ProgramHasRead(Clock::time_point now) const;
  Clock::duration NextWait(Clock::time_point now) const;
  std::string AnswerText(const Bytes& answer) const;

  const Options& options_;
  Pty& pty_;
  Reporter& reporter_;
  Pacer pacer_;
  LineSettings reported_;
  bool anyReported_ = false;
  long opens_ = 0;

  // The current session.
  Phase phase_ = Phase::Header;
  Bytes header_;
  long bodyBytes_ = 0;
  Clock::time_point due_{};           // answer time, or end of a wait for the program
  Clock::time_point lastActivity_{};  // last body byte, or the first answer
  Clock::time_point firstBodyByte_{};
  Clock::time_point lastAnswer_{};
  long sessionsDone_ = 0;
};
