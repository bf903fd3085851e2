#include "app/OutcomeMessage.h"

OutcomeMessage OutcomeMessageFor(UploadOutcome outcome, std::wstring_view portName) {
  switch (outcome) {
    case UploadOutcome::kSuccess:
      return {L"Information", L"Device update!"};
    case UploadOutcome::kFirmwareMissing:
      return {L"ERROR:1", L"Firmware missing!"};
    case UploadOutcome::kPortUnavailable:
      return {L"ERROR:2", L"Can't open the serial port: " + std::wstring(portName)};
    case UploadOutcome::kNoResponse:
      return {L"ERROR:3", L"Device does not respond!"};
    case UploadOutcome::kWrongFirstAnswer:
      return {L"ERROR:4", L"No correct answer device!"};
    case UploadOutcome::kWrongSecondAnswer:
      return {L"ERROR:5", L"Update wrong!"};
  }
  return {};
}
