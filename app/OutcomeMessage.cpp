#include "app/OutcomeMessage.h"

namespace {

// The outcome texts are plain ASCII.
std::wstring Widened(std::string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

OutcomeMessage OutcomeMessageFor(fwu::Outcome outcome, std::wstring_view portName) {
  OutcomeMessage message{Widened(fwu::OutcomeTitle(outcome)), Widened(fwu::OutcomeText(outcome))};
  if (outcome == fwu::Outcome::kPortUnavailable) message.text += portName;
  return message;
}
