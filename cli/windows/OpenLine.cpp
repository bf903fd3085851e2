#include "cli/Platform.h"
#include "cli/windows/CommLine.h"
#include "cli/windows/PortName.h"
#include "cli/windows/SystemMessage.h"
#include "cli/windows/Wide.h"

namespace fwu::cli {
namespace {

// What a failed open's error means for the person at the port, and what to
// do about it where that is known.
struct Meaning {
  std::string what;
  std::string advice;
};

Meaning MeaningOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {"no such port", "check the name against fwupload --list, and that the adapter is plugged in"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return {"held by another program, or not permitted",
              "close the terminal or tool that has the port open, then try again"};
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
      return {"not a serial port", {}};
    case ERROR_INVALID_PARAMETER:
      return {"the port refused the line settings (" + std::to_string(kBaudRate) + " baud, 8N1)", {}};
    default:
      return {};
  }
}

// The reason for a failed open, from the error the open left behind: what it
// means, the system's words, what to do. Empty when the open left no error
// (the system was not asked, or memory ran out).
std::string OpenFailureReason(DWORD error) {
  if (error == ERROR_SUCCESS) return {};
  Meaning meaning = MeaningOf(error);
  std::string reason = SystemMessage(error);
  if (!meaning.what.empty()) reason = meaning.what + " (" + reason + ")";
  if (!meaning.advice.empty()) reason += "; " + meaning.advice;
  return reason;
}

}  // namespace

LineOpening OpenLine(const std::string& port) {
  DWORD error = ERROR_SUCCESS;
  std::unique_ptr<CommLine> line = CommLine::Open(L"\\\\.\\" + Widened(BarePortName(port)), error);
  if (!line) return {nullptr, OpenFailureReason(error)};
  return {std::move(line), {}};
}

}  // namespace fwu::cli
