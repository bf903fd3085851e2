// How a port's run ends, for people and for scripts: the result line, why it
// failed, and the program's exit status.
#pragma once

#include "protocol/Outcome.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwu::cli {

inline constexpr int kExitUsage = 64;
inline constexpr int kExitNoInput = 66;
inline constexpr int kExitInterrupted = 130;

// "PORT: Device update!" or "PORT: ERROR:n TEXT", the window's own title and
// text.
std::string ResultLine(std::string_view port, Outcome outcome);
// "PORT: REASON", the line below a result that says why it failed.
std::string ReasonLine(std::string_view port, std::string_view reason);

// A station's count of the updates that have ended.
struct Tally {
  int updated = 0;
  int failed = 0;
  std::optional<Outcome> firstFailure;
};
// "3 updated, 1 failed"
std::string TallyText(const Tally& tally);

// 0 when every port succeeded, else the outcome number of the first port, in
// the order given, that did not.
int ExitStatus(const std::vector<Outcome>& outcomes);

}  // namespace fwu::cli
