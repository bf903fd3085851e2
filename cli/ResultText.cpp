#include "cli/ResultText.h"

#include "cli/PrintableText.h"

#include <algorithm>

namespace fwu::cli {

std::string ResultLine(std::string_view port, Outcome outcome) {
  std::string shown = Printable(port);
  std::string line = shown + ": ";
  if (outcome != Outcome::kSuccess) line += std::string(OutcomeTitle(outcome)) + " ";
  return line + OutcomeMessage(outcome, shown);
}

std::string ReasonLine(std::string_view port, std::string_view reason) { return Printable(port) + ": " + Printable(reason); }

std::string TallyText(const Tally& tally) {
  return std::to_string(tally.updated) + " updated, " + std::to_string(tally.failed) + " failed";
}

int ExitStatus(const std::vector<Outcome>& outcomes) {
  auto failed = std::find_if(outcomes.begin(), outcomes.end(), [](Outcome o) { return o != Outcome::kSuccess; });
  return failed == outcomes.end() ? 0 : static_cast<int>(*failed);
}

}  // namespace fwu::cli
