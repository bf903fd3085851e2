#include "protocol/Outcome.h"

namespace fwu {

std::string_view OutcomeTitle(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess:
      return "Information";
    case Outcome::kFirmwareMissing:
      return "ERROR:1";
    case Outcome::kPortUnavailable:
      return "ERROR:2";
    case Outcome::kNoResponse:
      return "ERROR:3";
    case Outcome::kWrongFirstAnswer:
      return "ERROR:4";
    case Outcome::kWrongSecondAnswer:
      return "ERROR:5";
  }
  return {};
}

std::string_view OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess:
      return "Device update!";
    case Outcome::kFirmwareMissing:
      return "Firmware missing!";
    case Outcome::kPortUnavailable:
      return "Can't open the serial port: ";
    case Outcome::kNoResponse:
      return "Device does not respond!";
    case Outcome::kWrongFirstAnswer:
      return "No correct answer device!";
    case Outcome::kWrongSecondAnswer:
      return "Update wrong!";
  }
  return {};
}

std::string OutcomeMessage(Outcome outcome, std::string_view portName) {
  std::string text(OutcomeText(outcome));
  if (outcome == Outcome::kPortUnavailable) text += portName;
  return text;
}

}  // namespace fwu
