// The end of every upload run: release, give the controls back, report.
#pragma once

#include "app/OutcomeMessage.h"

#include <cstdint>

// Closes file 0 and channel 0 when open, resets the bar, enables the input
// controls, shows the outcome's message box until it is dismissed and resets
// the progress value. Upload worker only; returns 0.
std::int64_t UploadFinish(fwu::Outcome outcome);
