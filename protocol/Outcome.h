// How an upload ends, and the title and text every program reports it with.
#pragma once

#include <string>
#include <string_view>

namespace fwu {

enum class Outcome {
  kSuccess = 0,
  kFirmwareMissing = 1,
  kPortUnavailable = 2,
  kNoResponse = 3,
  kWrongFirstAnswer = 4,
  kWrongSecondAnswer = 5,
};

// "Information" for success, else "ERROR:" and the outcome's number.
std::string_view OutcomeTitle(Outcome outcome);
// The outcome's text. That of kPortUnavailable ends with a space, after which
// the port name follows (OutcomeMessage does that).
std::string_view OutcomeText(Outcome outcome);
// The text with the port name completing kPortUnavailable's.
std::string OutcomeMessage(Outcome outcome, std::string_view portName);

}  // namespace fwu
