// The message box that reports how an upload run ended.
#pragma once

#include <string>
#include <string_view>

// How an upload run ended.
enum class UploadOutcome {
  kSuccess = 0,
  kFirmwareMissing = 1,
  kPortUnavailable = 2,
  kNoResponse = 3,
  kWrongFirstAnswer = 4,
  kWrongSecondAnswer = 5,
};

struct OutcomeMessage {
  std::wstring title;
  std::wstring text;
};

// Title and text for the outcome; `portName` completes the text of
// kPortUnavailable.
OutcomeMessage OutcomeMessageFor(UploadOutcome outcome, std::wstring_view portName);
