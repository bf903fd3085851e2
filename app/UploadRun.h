// The upload run: the worker that sends the firmware file to the device.
#pragma once

#include <cstdint>

// Starts an upload worker with the button's event type, unless a run is
// active or the program is closing. Main thread.
void UploadStart(std::int64_t eventType);
