// The message box that reports how an upload run ended.
#pragma once

#include "protocol/Outcome.h"

#include <string>
#include <string_view>

struct OutcomeMessage {
  std::wstring title;
  std::wstring text;
};

// Title and text for the outcome; `portName` completes the text of
// kPortUnavailable.
OutcomeMessage OutcomeMessageFor(fwu::Outcome outcome, std::wstring_view portName);
